# A DOT file that is a link, a folder that links out of the work folder, a
# link to a device: none of them is written through.
mkdir dot elsewhere
ln -s ../victim.txt dot/lnk.dot
ln -s ../elsewhere dot/ldir
ln -s /dev/null dot/null.dot
