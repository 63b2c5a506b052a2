# A name from the root would land outside the scratch tree.
[ ! -e /abs.dot ] || { echo "/abs.dot was written"; exit 1; }
