"$TARVO" a.txt >/dev/null
sed -i 's/\r*$/\r/' a.html
truncate -s -2 a.html
