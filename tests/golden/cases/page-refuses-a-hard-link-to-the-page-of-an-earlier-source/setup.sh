# An earlier run left out/a.html as this run makes it; out/b.html is the same
# file under a second name.
mkdir out
"$TARVO" a.txt out/ >/dev/null
ln out/a.html out/b.html
