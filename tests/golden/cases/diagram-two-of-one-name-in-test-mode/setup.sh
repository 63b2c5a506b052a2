# The page and g.dot (the first diagram) from a normal run, which refused the
# second diagram as this run will.
"$TARVO" page.wiki >/dev/null || true
