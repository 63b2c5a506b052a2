# The unchanged page keeps its file (same inode) and gets a new time.
[ "$(stat -c %i a.html)" = "$(cat inode.txt)" ] || { echo "a.html was replaced"; exit 1; }
[ "$(stat -c %Y a.html)" -gt "$(date -d '2020-01-01' +%s)" ] || { echo "a.html kept its old time"; exit 1; }
