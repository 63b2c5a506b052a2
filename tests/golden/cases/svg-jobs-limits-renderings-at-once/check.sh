# Two renderings ran at once, never more.
most=$(sort -n ../at-once | tail -1)
[ "$most" = 2 ] || { echo "at most $most renderings ran at once, not 2"; cat ../at-once; exit 1; }
