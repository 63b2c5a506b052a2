printf '= Caf\xe9 =\nBytes in names.\n' > $'caf\xe9.txt'
printf '<title>t\xe9</title>\n*******body*******\n' > $'t\xe9.tmpl'
