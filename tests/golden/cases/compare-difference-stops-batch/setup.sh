"$TARVO" "*.txt" >/dev/null
sed -i '3s/UTF-8/ISO-8859-1/' a.html
