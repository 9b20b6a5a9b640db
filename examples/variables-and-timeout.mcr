Rem Variables and TimeOut.
Rem A variable holds text; quotes keep blanks exact, a plain word keeps the
Rem blank after the "=" (so "name = Ann" holds " Ann").
greeting = "Hello, "
name = "Ann"
Rem A number in standard form (5, -3, 1.5, .5) is stored as written.
count = 3
Rem Start a terminal that echoes what it is typed, and keep its process ID.
term = Run xterm -T "Tarn Variables Example" -e cat
Rem Window searches give up after TimeOut seconds (30 unless changed).
TimeOut 10
Rem Method 2 is an exact title match; 0 starts with, 1 contains, 3 ends with.
w = GetWindowID Tarn Variables Example,2
Rem GetWindowID gives 0 when no window turned up within the time-out.
SetFocus term
Wait 1
Rem A parameter that names a variable reads its value.
Send greeting
Send name
Send ~
Rem Which process owns the window? It is the terminal we started.
owner = GetProcessID w
Wait 2
Rem End the terminal by its process ID.
KillProcess owner
