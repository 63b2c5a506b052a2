# A page made by an earlier run, with an old time; its inode is noted.
"$TARVO" a.wiki >/dev/null
touch -d '2001-01-01 00:00' a.html
stat -c %i a.html > inode.txt
