# The page and its DOT files as a run made them, and pictures beside them:
# one missing, one older than its DOT file, one made after it. Test mode
# needs no dot.
"$TARVO" -wrk dot/ page.wiki site/ >/dev/null
printf '<svg/>\n' >site/two.svg
printf '<svg/>\n' >site/three.svg
touch -d '2020-01-01 12:00' site/two.svg
