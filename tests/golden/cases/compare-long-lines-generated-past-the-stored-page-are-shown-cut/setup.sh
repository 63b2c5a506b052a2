# The stored page ends before the long line the page makes: the lines made
# past it are shown, 300 bytes of each.
"$TARVO" a.txt >/dev/null
sed -i "/vvvv/,\$d" a.html
