# A hard link is the same file under another name.
ln self.dot hard.dot
