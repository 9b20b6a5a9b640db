Rem Window search and focus against the fake desktop.
TimeOut 1
SetFocus untitled
SetFocus Calculator,2,true
SetFocus Mail
SetFocus Helper,3
SetFocus Helper,3,false,false
w = GetWindowID notepad,1
owner = GetProcessID w
SetFocus owner
CloseWindow w
gone = GetWindowID Untitled,0,,
Send gone
