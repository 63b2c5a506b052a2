# 5,000 nested folders: the file at the bottom lies about 10,000 bytes deep,
# far past the system's limit on the length of a path. A second branch at
# depth 4,000 is reached only after the walk comes back up from the bottom.
python3 - <<'PY'
import os
fd = os.open(".", os.O_RDONLY)
for depth in range(1, 5001):
    os.mkdir("d", dir_fd=fd)
    if depth == 4000:
        os.mkdir("e", dir_fd=fd)
        with open(os.open("e/e.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd), "w") as f:
            f.write("On the side.\n")
    fd = os.open("d", os.O_RDONLY, dir_fd=fd)
with open(os.open("deep.txt", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=fd), "w") as f:
    f.write("At the bottom.\n")
PY
