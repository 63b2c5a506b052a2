# A normal run makes the page and its pictures; then one picture goes, one
# gets older than its DOT file, one stays as made. Test mode needs no dot.
"$TARVO" --svg --dot ./fakedot -wrk dot/ page.wiki site/ >/dev/null
rm site/one.svg dot.log
touch -d '2020-01-01 12:00' site/two.svg
