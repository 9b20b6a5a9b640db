Rem Tarn demo: drive a real program from a macro.
Rem Start a terminal running a small line reader, and keep its process ID.
pid = Run xterm -T "Tarn Demo Target" -fa "DejaVu Sans Mono" -fs 11 -geometry 80x18 -e bash examples/demo-target.sh
Rem Wait up to 20 seconds for its window, and keep the window's ID.
TimeOut 20
w = GetWindowID Tarn Demo Target,2
Rem Bring the program's window to the front by its process ID.
SetFocus pid
Wait 1
Rem Plain text, then Enter written as a braced key name.
Send Hello from Tarn{ENTER}
Rem Text that no single keyboard layout has, and "~" for Enter.
Send héllo wörld €uro, ελληνικά, русский, 日本語~
Rem Editing keys: type "world", go Home, put "hello " in front of it.
Send world{HOME}hello ~
Rem A chord: Ctrl+U throws away the typed line, then the right text.
Send a typo here^ufixed line~
Rem Characters that mean something in the key notation are braced.
Send {+}{^}{%}{~}{(}{)}{{}{}}{[}{]}~
Rem Repeat counts: three x, two Backspaces, then y.
Send {x 3}{BS 2}y~
Rem Ask the program to save what it received, give it a moment, and close it.
Send save~
Wait 2
CloseWindow w
