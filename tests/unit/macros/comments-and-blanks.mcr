Rem A file of comments and blank lines runs to its end.

   
	Rem indented with a tab
rem lower case
REM upper case = Run nothing
Send
ShutDown
