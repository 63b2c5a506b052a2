# A sub-folder of the work folder, and a folder where the DOT file d.dot goes.
mkdir -p work/net work/d.dot
