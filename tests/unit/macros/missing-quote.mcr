x = 1
SetFocus "Calculator,2
x = 2
