ln -s .. sub/up
ln -s . sub/me
ln -s sub other
