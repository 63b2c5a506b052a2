mkfifo fifo.txt
ln -s nowhere dangling.txt
ln -s a.txt link.txt
python3 -c 'import socket; socket.socket(socket.AF_UNIX).bind("sock.txt")'
