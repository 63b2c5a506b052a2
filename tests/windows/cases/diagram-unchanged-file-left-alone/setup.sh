# Read-only: a file that were rewritten would be refused with "Can't create".
chmod 444 same-crlf.dot same-lf.dot
