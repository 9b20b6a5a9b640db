Rem Programs, documents and processes.
editor = "gedit"
pid = Run editor
Run "xterm -T ""two words"""
RunExecute ,notes.txt
RunExecute print,"report, final.pdf",,/tmp,0
KillProcess pid
KillProcess pid
Send never reached
