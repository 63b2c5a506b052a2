# A device node where root may make one (a copy of /dev/null), otherwise a
# FIFO: either way the page name holds no regular file.
mknod a.html c 1 3 2>/dev/null || mkfifo a.html
