# A source whose reading fails (EIO, as a failing disk or a network file
# system gives): /proc/self/mem reads as an error at offset 0.
ln -s /proc/self/mem m.wiki
