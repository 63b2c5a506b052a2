"$TARVO" a.txt >/dev/null
sed -i '$d' a.html
