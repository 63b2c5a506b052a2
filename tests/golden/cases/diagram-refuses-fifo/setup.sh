# A FIFO in the DOT file's place: neither read (that would hang) nor replaced.
mkfifo g.dot
