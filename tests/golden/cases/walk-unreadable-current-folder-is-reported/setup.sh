chmod 333 .
