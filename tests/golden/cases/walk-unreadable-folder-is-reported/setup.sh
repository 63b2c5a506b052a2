chmod 000 locked
