Send ok
Sned oops
Send never
