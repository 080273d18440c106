#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end print test on a CUPS scheduler of its own: starts cupsd with a private
# configuration (its own socket, spool and logs; the machine's CUPS is not touched), adds
# two PDF virtual printers and runs the given test program against them:
#   PelmoraPDF   cups-pdf (the default printer): writes a PDF per job into cups-pdf's Out
#                folder, going through PostScript and Ghostscript;
#   PelmoraFile  CUPS's generic PDF driver on a file: device: writes the PDF as CUPS's own
#                filters made it, so its text reads back exactly.
# Needs (Debian): cups, cups-filters, printer-driver-cups-pdf, poppler-utils; root.
# Exits 77 (skipped) only where the scheduler cannot be started.
set -u
PATH=$PATH:/usr/sbin:/sbin
TEST_PROGRAM=$1

skip() { echo "SKIP: CUPS cannot start here: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

command -v cupsd >/dev/null 2>&1 || skip "cupsd is not installed (Debian package cups)"
command -v lpstat >/dev/null 2>&1 || skip "lpstat is not installed (Debian package cups-client)"
[ "$(id -u)" -eq 0 ] || skip "starting a CUPS scheduler needs root"
command -v pdftotext >/dev/null 2>&1 || fail "pdftotext is missing (Debian package poppler-utils)"

dir=$(mktemp -d /tmp/pelmora-cups.XXXXXX) || fail "no temporary folder"
chmod 755 "$dir"
mkdir -p "$dir/conf/ppd" "$dir/conf/ssl" "$dir/spool" "$dir/cache" "$dir/state" "$dir/log" \
    "$dir/tmp"
chgrp lp "$dir/spool" "$dir/tmp" 2>/dev/null
chmod 710 "$dir/spool"
chmod 1770 "$dir/tmp"

cat > "$dir/conf/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel warn
DefaultAuthType None
WebInterface No
Browsing Off
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat > "$dir/conf/cups-files.conf" <<CONF
ServerRoot $dir/conf
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
Printcap $dir/state/printcap
ServerBin /usr/lib/cups
DataDir /usr/share/cups
FileDevice Yes
SystemGroup root
CONF

CUPS_SERVER=$dir/cups.sock
export CUPS_SERVER
unset LPDEST PRINTER

cupsd_pid=""
finish() {
    if [ -n "$cupsd_pid" ]; then
        kill "$cupsd_pid" 2>/dev/null
        wait "$cupsd_pid" 2>/dev/null
    fi
    rm -rf "$dir"
}
trap finish EXIT

cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" >"$dir/log/stdout" 2>&1 &
cupsd_pid=$!
tries=0
until lpstat -r 2>/dev/null | grep -q "is running"; do
    tries=$((tries + 1))
    if ! kill -0 "$cupsd_pid" 2>/dev/null; then
        cupsd_pid=""
        skip "cupsd exited at start: $(tail -n 3 "$dir/log/stdout" "$dir/log/error_log" 2>/dev/null)"
    fi
    [ $tries -lt 60 ] || skip "cupsd did not answer within 30 s"
    sleep 0.5
done

models=$(lpinfo -m 2>/dev/null)
pdf_model=$(printf '%s\n' "$models" | awk '/CUPS-PDF_opt\.ppd/ {print $1; exit}')
[ -n "$pdf_model" ] || pdf_model=$(printf '%s\n' "$models" | awk '/CUPS-PDF.*\.ppd/ {print $1; exit}')
[ -n "$pdf_model" ] || fail "no cups-pdf driver (Debian package printer-driver-cups-pdf)"
[ -e /usr/lib/cups/backend/cups-pdf ] || fail "no cups-pdf backend (printer-driver-cups-pdf)"
file_model=$(printf '%s\n' "$models" | awk '/Generic-PDF_Printer-PDF\.ppd/ {print $1; exit}')
[ -n "$file_model" ] || fail "no generic PDF driver (Debian package cups-filters)"

lpadmin -p PelmoraPDF -v cups-pdf:/ -E -m "$pdf_model" 2>/dev/null || fail "cannot add PelmoraPDF"
lpadmin -p PelmoraFile -v "file://$dir/file-printer.pdf" -E -m "$file_model" 2>/dev/null ||
    fail "cannot add PelmoraFile"
lpadmin -d PelmoraPDF || fail "cannot make PelmoraPDF the default printer"

# Where cups-pdf writes: the Out key of its configuration, for the user who prints.
user=$(id -un)
home=$(getent passwd "$user" | cut -d: -f6)
out=$(sed -n 's/^[[:space:]]*Out[[:space:]]\{1,\}//p' /etc/cups/cups-pdf.conf 2>/dev/null | tail -n 1)
[ -n "$out" ] || out=/var/spool/cups-pdf/\${USER}
out=$(printf '%s' "$out" | sed -e "s|\${HOME}|$home|g" -e "s|\${USER}|$user|g")
mkdir -p "$out"

# The test asks this scheduler only: no lpoptions of the machine or of the user pick
# another default printer.
mkdir -p "$dir/client" "$dir/home"
echo "CUPS at $CUPS_SERVER; cups-pdf writes to $out"
CUPS_SERVERROOT=$dir/client HOME=$dir/home PELMORA_CUPS_QUEUE=PelmoraPDF PELMORA_CUPS_PDF_OUT=$out PELMORA_CUPS_FILE_QUEUE=PelmoraFile \
    PELMORA_CUPS_FILE_OUT=$dir/file-printer.pdf QT_QPA_PLATFORM=offscreen "$TEST_PROGRAM"
