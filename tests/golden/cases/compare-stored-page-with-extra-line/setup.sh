"$TARVO" a.txt >/dev/null
printf '<!-- extra -->\n' >> a.html
