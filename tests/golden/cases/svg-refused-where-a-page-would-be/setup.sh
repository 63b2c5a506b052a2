# What holds a picture's name is no regular file, the way to it leads out of
# the output folder, or the name is an address with a scheme.
mkdir -p site
ln -s ../elsewhere/victim.txt site/link.svg
mkdir site/folder.svg
mkfifo site/fifo.svg
ln -s ../elsewhere site/out
mkdir -p dot/out
