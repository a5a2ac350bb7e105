#!/bin/sh
# Makes a print queue whose "printer" keeps every job it gets: the document in JOBDIR/N.pdf and
# its copies, title and options in JOBDIR/N.txt. Starts the print server when it is not running.
# Needs root (it installs a backend). Usage: printqueue.sh QUEUE JOBDIR
set -eu
queue=$1
jobdir=$2
[ "$(id -u)" -eq 0 ] || { echo "printqueue: needs root" >&2; exit 77; }
command -v cupsd >/dev/null && command -v lpadmin >/dev/null || { echo "printqueue: no print server" >&2; exit 77; }

backend=/usr/lib/cups/backend/vmrecord
cat > "$backend.$$" <<'SH'
#!/bin/sh
# vmrecord backend: argv job user title copies options [file]; DEVICE_URI=vmrecord:/folder
[ $# -eq 0 ] && { echo 'file vmrecord "Unknown" "Keeps jobs for tests"'; exit 0; }
dir=${DEVICE_URI#vmrecord:}
if [ $# -ge 6 ]; then cp "$6" "$dir/$1.pdf.part"; else cat > "$dir/$1.pdf.part"; fi
printf 'copies=%s\ntitle=%s\noptions=%s\n' "$4" "$3" "$5" > "$dir/$1.txt"
mv "$dir/$1.pdf.part" "$dir/$1.pdf"
exit 0
SH
chmod 0755 "$backend.$$"
mv "$backend.$$" "$backend"

mkdir -p "$jobdir"
chmod 1777 "$jobdir"

running() { LC_ALL=C lpstat -r 2>/dev/null | grep -q 'scheduler is running'; }
if ! running; then
  cupsd
  i=0
  until running; do
    i=$((i + 1))
    [ $i -gt 50 ] && { echo "printqueue: the print server did not start" >&2; exit 1; }
    sleep 0.2
  done
fi
lpadmin -p "$queue" -E -v "vmrecord:$jobdir"
cupsenable "$queue"
cupsaccept "$queue"
