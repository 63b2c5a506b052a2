"$TARVO" -tmpl site.tmpl a.txt >/dev/null
