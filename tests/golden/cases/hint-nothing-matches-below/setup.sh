# The output folder of an earlier run (git keeps no empty folder).
mkdir site
