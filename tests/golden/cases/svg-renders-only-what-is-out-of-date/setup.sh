# The DOT files hold the text of the page's diagrams, except changed.dot; the
# pictures of current and changed are newer than their DOT files, that of
# older is older, that of missing is not there. Only current is left alone.
touch -d '2021-01-01 12:00' dot/*.dot
touch -d '2022-01-01 12:00' site/current.svg site/changed.svg
touch -d '2020-01-01 12:00' site/older.svg
