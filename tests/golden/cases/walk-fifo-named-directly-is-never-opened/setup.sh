mkfifo fifo.txt
