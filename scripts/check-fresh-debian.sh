#!/usr/bin/env bash
# Goes through what a new user's machine goes through, on a minimal Debian root (12 or 13)
# made with debootstrap from this machine's Debian mirror: the checkout (without build
# folders) gets ./demo.sh, then ./test.sh, then the Debian package build; the package goes
# into a second fresh root of the same release, where a user who is not root runs a headless
# batch of the sample herds, and its PDFs are checked. One line per step with its time and
# result; exit status 1 on the first failure of a release (its log's last lines follow, the
# logs are kept). Needs root; run it before changing the install scripts, the packaging or
# the dependencies.
#
#   scripts/check-fresh-debian.sh [--suite SUITE] [--skip-tests] [--package DEB] [--keep] [--mirror URL] [--work DIR]
#
#   --suite SUITE bookworm (Debian 12, the default), trixie (Debian 13) or all (one after
#                 the other; the status is 1 when either fails)
#   --skip-tests  leave out ./test.sh (the long step: three builds and every test)
#   --package DEB only install and try this package (no build root)
#   --keep        keep the roots and logs (unmounted) for a look afterwards
#   --mirror URL  Debian mirror (default: the one apt uses here)
#   --work DIR    folder for the roots and logs (default: a new folder in /var/tmp)
set -uo pipefail

usage() { sed -n '11,21s/^# \{0,1\}//p' "$0"; }

source_dir=$(cd "$(dirname "$0")/.." && pwd)
arguments=("$@")
suite=bookworm
skip_tests=0
package=
keep=0
mirror=
work_parent=/var/tmp
while (($#)); do
  case $1 in
    --suite) suite=${2:?--suite needs bookworm, trixie or all}; shift ;;
    --suite=*) suite=${1#*=} ;;
    --skip-tests) skip_tests=1 ;;
    --package) package=$(realpath "${2:?--package needs a .deb}"); shift ;;
    --keep) keep=1 ;;
    --mirror) mirror=${2:?--mirror needs a URL}; shift ;;
    --mirror=*) mirror=${1#*=} ;;
    --work) work_parent=${2:?--work needs a folder}; shift ;;
    --work=*) work_parent=${1#*=} ;;
    -h | --help) usage; exit 0 ;;
    *) echo "unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
  shift
done
case $suite in
  bookworm | trixie) ;;
  all)
    # Each release in a run of its own, the other arguments as given.
    status=0
    for one in bookworm trixie; do
      "$0" "${arguments[@]}" --suite "$one" || status=1
    done
    exit "$status"
    ;;
  *) echo "unknown suite: $suite (bookworm, trixie or all)" >&2; exit 2 ;;
esac
if [ "$(id -u)" -ne 0 ]; then
  echo "$0 needs root (debootstrap, chroot, mounts): run it with sudo" >&2
  exit 2
fi

# The archive apt uses on this machine for a suite: the first deb source that has it, in a
# deb822 file or in a one-line list.
host_source() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$1" 'BEGIN { RS = ""; FS = "\n" }
         { uris = ""; suites = ""; types = ""; enabled = 1
           for (i = 1; i <= NF; i++) {
             if ($i ~ /^URIs:/) uris = $i
             if ($i ~ /^Suites:/) suites = $i " "
             if ($i ~ /^Types:/) types = $i " "
             if ($i ~ /^Enabled: *no/) enabled = 0
           }
           if (enabled && types ~ /[: ]deb / && index(suites, " " suite " ")) { split(uris, u, " "); print u[2]; exit } }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v suite="$1" '$1 == "deb" { sub(/^deb +(\[[^]]*\] +)?/, ""); if ($2 == suite) { print $1; exit } }' "$f"
  done
}
# This machine's own release: its Debian mirror and security archive serve the other
# releases too.
host_suite=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
if [ -z "$mirror" ] && [ -n "$host_suite" ]; then
  mirror=$(host_source "$host_suite" | head -n 1)
fi
if [ -z "$mirror" ]; then
  echo "$0: no Debian mirror in this machine's apt sources; name one with --mirror URL" >&2
  exit 2
fi
security=
if [ -n "$host_suite" ]; then
  security=$(host_source "$host_suite-security" | head -n 1)
fi

mkdir -p "$work_parent"
work=$(mktemp -d "$work_parent/ovista-fresh.XXXXXX") || exit 1
logs=$work/logs
mkdir -p "$logs"
failed=0

# ---- cleaning up, whatever happens ---------------------------------------------------------

# Mounts below the work folder, deepest first.
our_mounts() {
  awk -v w="$work/" 'index($5, w) == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

cleanup() {
  local status=$? pid link path left
  trap - EXIT INT TERM
  # Processes still running inside our roots (a service a test started, a hung run) hold
  # their mounts: they are ours, so they are ended.
  for pid in /proc/[0-9]*; do
    link=$(readlink "$pid/root" 2>/dev/null) || continue
    case $link in "$work"/*) kill -KILL "${pid#/proc/}" 2>/dev/null ;; esac
  done
  for path in $(our_mounts); do
    umount "$path" 2>/dev/null || umount -l "$path" 2>/dev/null
  done
  left=$(our_mounts)
  if [ -n "$left" ]; then
    echo "still mounted, $work left in place: $left" >&2
    status=1
  elif ((keep)); then
    echo "roots and logs kept in $work"
  elif ((failed || status != 0)); then
    find "$work" -mindepth 1 -maxdepth 1 ! -name logs -exec rm -rf --one-file-system {} +
    echo "logs kept in $logs"
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---- steps ---------------------------------------------------------------------------------

duration() {
  local s=$1
  if ((s >= 60)); then printf '%dm%02ds' $((s / 60)) $((s % 60)); else printf '%ds' "$s"; fi
}

step_no=0
# step NAME FUNCTION [ARG...]: runs the function with -e in a subshell, its output to a log.
step() {
  local name=$1 log start status
  shift
  step_no=$((step_no + 1))
  log=$(printf '%s/%02d-%s.log' "$logs" "$step_no" "$1")
  start=$SECONDS
  (set -e; "$@") >"$log" 2>&1 </dev/null
  status=$?
  local note=
  [ -s "$log.note" ] && note=" ($(cat "$log.note"))"
  if ((status == 0)); then
    printf '%2d  %-58s %7s  ok%s\n' "$step_no" "$name" "$(duration $((SECONDS - start)))" "$note"
  else
    printf '%2d  %-58s %7s  FAILED (status %d)\n' "$step_no" "$name" "$(duration $((SECONDS - start)))" "$status"
    tail -n 40 "$log" | sed 's/^/    | /'
    echo "    log: $log"
    failed=1
    exit 1
  fi
}
skipped() {
  step_no=$((step_no + 1))
  printf '%2d  %-58s %7s  skipped (%s)\n' "$step_no" "$1" - "$2"
}
# note TEXT: a short remark printed after the step's result.
note() { printf '%s' "$*" >"$log.note"; }

base=$work/base
build_root=$work/build-root
install_root=$work/install-root
checkout=/root/ovista
user=farmer
clean_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

# in_root ROOT COMMAND: a login-like shell as root in ROOT, with none of our environment
# (no compiler launchers, no display, no Qt platform).
in_root() {
  chroot "$1" /usr/bin/env -i HOME=/root PATH=$clean_path TERM=dumb /bin/bash -c "$2"
}

mount_root() {
  local r=$1
  mkdir -p "$r/proc" "$r/sys" "$r/dev/pts" "$r/dev/shm"
  mount -t proc proc "$r/proc"
  mount -t sysfs -o ro sysfs "$r/sys"
  # A private pty instance and shared memory of the root's own, nothing bound from here.
  mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$r/dev/pts"
  ln -sf pts/ptmx "$r/dev/ptmx"
  mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$r/dev/shm"
}

debootstrap_base() {
  if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap ||
      { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap; }
  fi
  debootstrap --variant=minbase "$suite" "$base" "$mirror"
  # The release with its updates, and its security updates from where this machine gets
  # its own.
  rm -f "$base/etc/apt/sources.list"
  {
    printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\n' "$mirror" "$suite" "$suite"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    if [ -n "$security" ]; then
      printf '\nTypes: deb\nURIs: %s\nSuites: %s-security\nComponents: main\n' "$security" "$suite"
      printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    fi
  } >"$base/etc/apt/sources.list.d/debian.sources"
  cp /etc/resolv.conf "$base/etc/resolv.conf"
  [ -f /etc/hosts ] && cp /etc/hosts "$base/etc/hosts"
  # Packages may not start services in a root without an init: a started daemon would
  # outlive its step. Tests start what they need themselves.
  printf '#!/bin/sh\nexit 101\n' >"$base/usr/sbin/policy-rc.d"
  chmod 755 "$base/usr/sbin/policy-rc.d"
  note "Debian $(cat "$base/etc/debian_version"), $(du -sh --apparent-size "$base" | cut -f1), mirror $mirror"
}

new_root() {
  cp -a "$base" "$1"
  mount_root "$1"
}

copy_checkout() {
  new_root "$build_root"
  mkdir -p "$build_root$checkout"
  tar -C "$source_dir" --exclude=./.git --exclude='./build*' --exclude=./out -cf - . |
    tar -C "$build_root$checkout" -xf -
  note "$(find "$build_root$checkout" -type f | wc -l) files"
}

run_demo() {
  in_root "$build_root" "cd $checkout && ./demo.sh"
  local analysed herds pdfs
  herds=$(grep -c . "$build_root$checkout/examples/batch.txt")
  analysed=$(grep -c '^Data analysed from' "$build_root$checkout/out/demo/QMRBATCH.REP" || true)
  pdfs=$(find "$build_root$checkout/out/demo/pdf" -name '*.pdf' | wc -l)
  echo "herds $herds, analysed $analysed, PDFs $pdfs"
  [ "$analysed" = "$herds" ] && [ "$pdfs" = "$herds" ]
  note "$herds herds analysed, $pdfs PDFs"
}

run_tests() {
  in_root "$build_root" "cd $checkout && ./test.sh"
  note "$(grep -Eo '[0-9]+% tests passed.*' "$log" | paste -sd ';' | sed 's/;/; /g')"
}

build_package() {
  # ./demo.sh built the program and its pictures; the package adds its icon, changelog and
  # manual page.
  in_root "$build_root" "cd $checkout && cmake --build build --target ovista_icon ovista_changelog ovista_manual"
  in_root "$build_root" "cd $checkout/build && cpack -G DEB"
  deb=$(find "$build_root$checkout/build" -maxdepth 1 -name 'ovista_*.deb' | head -n 1)
  [ -n "$deb" ]
  cp "$deb" "$work/"
  dpkg-deb -c "$deb" >"$work/contents.txt" 2>/dev/null || in_root "$build_root" "dpkg-deb -c $checkout/build/${deb##*/}" >"$work/contents.txt"
  cat "$work/contents.txt"
  grep -q ' ./usr/share/doc/ovista/copyright$' "$work/contents.txt"
  grep -q ' ./usr/share/doc/ovista/changelog.gz$' "$work/contents.txt"
  note "${deb##*/}, $(du -k "$deb" | cut -f1) KiB"
}

# The libraries the program links, as dpkg-shlibdeps found them in this release's build.
package_depends() {
  local depends
  dpkg-deb -I "$1"
  depends=$(dpkg-deb -f "$1" Depends)
  grep -Eq '(^|, )libqt6core6[a-z0-9]* \(>= ' <<<"$depends"
  grep -Eq '(^|, )libharfbuzz-subset0 \(>= ' <<<"$depends"
  note "Depends: $depends"
}

run_lintian() {
  local deb
  deb=$(cd "$build_root$checkout/build" && find . -maxdepth 1 -name 'ovista_*.deb' -printf '%f\n' | head -n 1)
  in_root "$build_root" "DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends lintian >/dev/null"
  in_root "$build_root" "cd $checkout/build && lintian --fail-on error --info $deb" | tee "$work/lintian.txt"
  local errors warnings
  errors=$(grep -c '^E:' "$work/lintian.txt" || true)
  warnings=$(grep -c '^W:' "$work/lintian.txt" || true)
  note "$errors errors, $warnings warnings"
  [ "$errors" = 0 ]
}

install_package() {
  new_root "$install_root"
  local deb=${1##*/}
  cp "$1" "$install_root/tmp/"
  in_root "$install_root" "apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q /tmp/$deb"
  in_root "$install_root" "command -v ovista && ovista --version"
  note "$(in_root "$install_root" "dpkg-query -W -f '\${Version}' ovista"), $(in_root "$install_root" "dpkg -l | grep -c '^ii'") packages in the root"
}

run_user_batch() {
  in_root "$install_root" "useradd --create-home --shell /bin/bash $user"
  cp -r "$source_dir/examples" "$install_root/home/$user/"
  in_root "$install_root" "chown -R $user: /home/$user/examples"
  # As the user logs in: no display, no Qt platform given; the program chooses offscreen.
  in_root "$install_root" "runuser -u $user -- env -i HOME=/home/$user USER=$user PATH=$clean_path \
    /bin/bash -c 'cd && mkdir -p out && ovista NODIALOGS XFERFOLDER=\$HOME/out QMRBATCHFILE=examples/batch.txt PDFFOLDER=\$HOME/out/pdf'"
  local out=$install_root/home/$user/out herds analysed pdfs
  cat "$out/QMRBATCH.REP"
  herds=$(grep -c . "$install_root/home/$user/examples/batch.txt")
  analysed=$(grep -c '^Data analysed from' "$out/QMRBATCH.REP" || true)
  pdfs=$(find "$out/pdf" -name '*.pdf' -user "$(stat -c %u "$install_root/home/$user")" | wc -l)
  echo "herds $herds, analysed $analysed, PDFs $pdfs"
  [ "$analysed" = "$herds" ] && [ "$pdfs" = "$herds" ]
  note "$herds herds analysed, $pdfs PDFs"
}

check_pdfs() {
  # poppler's tools only to read the PDFs back; ovista itself does not need them.
  in_root "$install_root" "DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends poppler-utils >/dev/null"
  in_root "$install_root" '
    set -e
    cd /home/'"$user"'/out/pdf
    for pdf in *.pdf; do
      herd=$(grep -F "/${pdf%.pdf}.csv," /home/'"$user"'/examples/batch.txt | cut -d, -f2)
      pages=$(pdfinfo "$pdf" | awk "/^Pages:/ {print \$2}")
      [ "$pages" = 2 ] || { echo "$pdf: $pages pages"; exit 1; }
      sizes=$(pdfinfo -f 1 -l 2 "$pdf" | grep -E "^Page +[0-9]+ size:")
      [ "$(grep -c "(A4)\$" <<<"$sizes")" = 2 ] || { echo "$pdf: not two A4 pages: $sizes"; exit 1; }
      fonts=$(pdffonts "$pdf" | tail -n +3)
      [ -n "$fonts" ] || { echo "$pdf: no fonts"; exit 1; }
      # Columns: name type encoding emb sub uni object-id; the type may be two words.
      if awk "{ if (\$(NF-4) != \"yes\") bad = 1 } END { exit !bad }" <<<"$fonts"; then
        echo "$pdf: a font is not embedded:"; echo "$fonts"; exit 1
      fi
      text=$(pdftotext -layout "$pdf" -)
      grep -q "$herd" <<<"$text" || { echo "$pdf: herd number $herd not in its text"; exit 1; }
      echo "$pdf: $pages A4 pages, fonts embedded ($(awk "{print \$1}" <<<"$fonts" | sort -u | paste -sd " ")), $(wc -w <<<"$text") words of text, herd $herd found"
    done'
  note "$(find "$install_root/home/$user/out/pdf" -name '*.pdf' | wc -l) PDFs: 2 A4 pages, fonts embedded, text read back"
}

remove_package() {
  in_root "$install_root" "DEBIAN_FRONTEND=noninteractive apt-get remove -y -q ovista"
  [ ! -e "$install_root/usr/bin/ovista" ] && [ ! -e "$install_root/usr/lib/ovista" ]
}

echo "ovista on a fresh Debian ($suite): $source_dir -> $work"
started=$SECONDS
step "debootstrap a minimal Debian root ($suite, minbase)" debootstrap_base
if [ -n "$package" ]; then
  deb=$package
else
  step "copy the checkout into a fresh root (no build folders)" copy_checkout
  step "./demo.sh (installs, builds, analyses the sample herds)" run_demo
  if ((skip_tests)); then
    skipped "./test.sh (every test, sanitizers, fuzz targets)" "--skip-tests"
  else
    step "./test.sh (every test, sanitizers, fuzz targets)" run_tests
  fi
  step "the package's files, cd build && cpack -G DEB" build_package
  deb=$(find "$work" -maxdepth 1 -name 'ovista_*.deb')
  step "dpkg -I: the linked libraries come from dpkg-shlibdeps" package_depends "$deb"
  step "lintian on the package (no errors)" run_lintian
fi
step "apt install the package into a second fresh root" install_package "$deb"
step "headless batch of the sample herds as user $user" run_user_batch
step "the PDFs: two A4 pages, fonts embedded, text extractable" check_pdfs
step "apt remove ovista" remove_package
echo "$suite: all $step_no steps passed in $(duration $((SECONDS - started)))"
