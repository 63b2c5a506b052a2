# The page from a normal run; its DOT file is gone before the test run.
"$TARVO" a.wiki >/dev/null
rm g.dot
