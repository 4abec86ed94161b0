# Reads the lines of online_install_phases.awk for the passes of one
# package and prints the median of each phase and of the peaks; BLOCK is the
# largest solid block of the package in bytes.
BEGIN {
  split("start-up,server reply,download,checks and payload,unpacking and backend start," \
        "backend start-up,copying the files,launcher and shortcuts,finalising,exit", name, ",")
}
{
  for (i = 1; i <= 12; ++i) value[i, NR] = $i
  rows = NR
}
function median(column,   n, i, j, list, t) {
  n = 0
  for (i = 1; i <= rows; ++i)
    if (value[column, i] != "?") list[++n] = value[column, i] + 0
  if (n == 0) return -1
  for (i = 2; i <= n; ++i)
    for (j = i; j > 1 && list[j - 1] > list[j]; --j) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
  return n % 2 ? list[(n + 1) / 2] : (list[n / 2] + list[n / 2 + 1]) / 2
}
END {
  printf "  our phases, medians in s (from the log as it grew):\n"
  for (i = 1; i <= 10; ++i) {
    m = median(i)
    if (m < 0) printf "    %-32s not seen\n", name[i]
    else printf "    %-32s %.3f\n", name[i], m
  }
  printf "  peak resident memory, medians: front end %.1f MiB (largest solid block %.1f MiB, so block + %.1f MiB), backend %.1f MiB\n",
    median(11) / 1024, BLOCK / 1048576, median(11) / 1024 - BLOCK / 1048576, median(12) / 1024
}
