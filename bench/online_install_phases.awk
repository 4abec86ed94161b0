# Reads the installer's log lines as stamped by log_watcher.py (with the
# pass's "start" and "end") and prints one line: the seconds of each phase
# of the pass, in the order of PHASE_NAMES in online_install_report.awk,
# then the peak resident kB of the front end and of the backend.
function mark(i) { if (!(i in at)) at[i] = $1 }
$1 == "start" { start = $2; next }
$1 == "end" { end = $2; next }
$1 == "peak" {
  if ($0 ~ /--backend/) { if ($3 > backend) backend = $3 }
  else if ($0 ~ /--silent/) { if ($3 > front) front = $3 }
  next
}
/installer_main.*installer starting/ && !(1 in at) { mark(1); next }
/Starting download from .*package\.exe/ { mark(2); next }
/Download completed/ && (2 in at) { mark(3); next }
/Unpacking files from archive/ { mark(4); next }
/Command line: "[^"]*Temp\\Vexlo Installer\\[^"]*installer\.exe"/ { mark(5); next }
/installer_file_steps.*Copying file/ { mark(6); next }
/Installing the launcher/ { mark(7); next }
/Finalizing the installation/ { mark(8); next }
{ if ($1 + 0 > last + 0) last = $1 }
END {
  at[0] = start
  at[9] = last
  at[10] = end
  previous = start
  for (i = 1; i <= 10; ++i) {
    if (!(i in at)) { printf "? "; continue }
    printf "%.3f ", at[i] - previous
    previous = at[i]
  }
  printf "%d %d\n", front, backend
}
