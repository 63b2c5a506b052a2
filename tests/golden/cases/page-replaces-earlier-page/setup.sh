chmod 600 a.html
