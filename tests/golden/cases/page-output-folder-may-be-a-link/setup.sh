# The user chose where the output lies: a link to a folder is followed.
mkdir real
ln -s real out
