Rem RunExecute opens a document with the program associated with its type.
Rem Syntax: RunExecute [operation],fileName[,parameters][,startDir][,showCmd]
Rem An empty operation means "Open"; "Print" sends the file to the default
Rem printer; "Explore" opens a folder in the file manager.
RunExecute ,README.md
Wait 3
Rem A folder, shown by the file manager:
RunExecute Explore,examples
