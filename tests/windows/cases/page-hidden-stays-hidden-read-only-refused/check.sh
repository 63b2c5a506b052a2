# The attributes as attrib shows them (the letters before the path).
flags=$($WINE attrib a.html | sed 's/ [A-Z]:\\.*//')
[[ $flags == *H* ]] || { echo "a.html is no longer hidden: $flags"; exit 1; }
