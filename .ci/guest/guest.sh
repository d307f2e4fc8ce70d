# A throw-away Linux guest for the CI legs that need a kernel other than this machine's own:
# Debian's kernel booted under qemu-system-x86_64 (TCG), seeing this machine's whole file
# system. Used by the 32-bit Windows leg (where this kernel refuses i386 programs) and by the
# virtual DVB leg (where the kernel module under test cannot be loaded here).
#
# Source it (`source .ci/guest/guest.sh`) or run it (`bash .ci/guest/guest.sh prepare|available|run ...`).
#
#   guest_prepare
#       Installs with apt-get what the guest needs (qemu-system-x86, busybox-static, cpio, kmod,
#       xz-utils, linux-headers-amd64) and unpacks Debian's kernel image of the same version as
#       linux-headers-amd64 into $GUEST_CACHE/kroot (boot/vmlinuz-<ver>, lib/modules/<ver>).
#       Idempotent: a second call downloads nothing. Sets GUEST_KVER, GUEST_KROOT.
#       Returns nonzero, with one line on standard error, when a piece cannot be had.
#
#   guest_available
#       Returns 0 when a guest boots here (the tools and the kernel are present and a guest runs
#       `true`); else 1 with the reason in $guest_unavailable_reason, for the caller's one line
#       saying what was not run. Calls guest_prepare first. The answer is remembered.
#
#   run_in_guest [options] 'shell command'
#       Boots the guest and runs the command there with bash, at the current directory, with
#       standard input from /dev/null. Prints the command's output (standard output and error,
#       in order, line ends LF) and returns its exit status. Options:
#         --modules "m1 m2 ..."  extra kernel modules to load before the command, in this order,
#                                each after the modules it depends on: a path to a .ko file
#                                (for instance one built against $GUEST_KROOT/lib/modules/
#                                $GUEST_KVER/build) or the name of a module of the kernel
#         --modparams "m p=v ..."  parameters for module m (its file name without .ko; - and _
#                                alike); may be given once per module
#         --share DIR            the directory shared read-write with the guest (default: the
#                                current directory); files written there come back
#         --timeout S            seconds before the guest is stopped (default $GUEST_TIMEOUT_S
#                                or 900); then the status is 124
#         --mem MB               guest memory (default $GUEST_MEM_MB or 2048)
#       The guest sees the whole of this machine's root read-only (virtio-9p) under a writable
#       layer in its own memory, so it may write anywhere; all of that is lost at power-off,
#       except what went into the shared directory. /tmp, /run and /dev/shm are empty. The
#       environment is plain (HOME=/tmp, a standard PATH): export what the command needs in
#       the command itself. Status 125: the guest could not be set up (a module that does not
#       load, for one) or gave no status; 124: time-out. Both come with a line on standard error.
#       Example: run_in_guest --modules "$PWD/dvb-vidtv-bridge.ko" \
#                  --modparams "dvb-vidtv-bridge max_frequency_shift_hz=0" './fe_check'
#
# Environment: GUEST_CACHE (default <repository>/build-guest; the CI keeps it in its state
# directory, see .ci/provision.sh), GUEST_TIMEOUT_S, GUEST_MEM_MB, GUEST_CPUS (2).
#
# Measured on 2 cores under TCG: a boot to the command takes 5 s on an idle machine, 25 s
# while other builds load both cores.

guest_repository=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$guest_repository/.ci/install.sh"
GUEST_CACHE=${GUEST_CACHE:-$guest_repository/build-guest}

# The modules that give the guest its file systems: the 9p transport over virtio PCI and
# the overlay that makes the read-only root writable.
guest_base_modules="virtio_pci 9pnet_virtio 9p overlay"

# Says why the guest cannot be had, on standard error and in guest_unavailable_reason.
guest_fail() {
  guest_unavailable_reason=$1
  echo "guest: $1" >&2
  return 1
}

guest_prepare() {
  [ -n "${GUEST_KVER:-}" ] && [ -f "$GUEST_KROOT/boot/vmlinuz-$GUEST_KVER" ] && return 0
  install_missing qemu-system-x86 busybox-static cpio kmod xz-utils linux-headers-amd64 ||
    { guest_fail "the packages for the guest cannot be installed"; return 1; }
  # linux-headers-amd64 depends on linux-headers-<ver>; the kernel image <ver> matches it.
  GUEST_KVER=$(dpkg-query -W -f='${Depends}' linux-headers-amd64 2>/dev/null |
                 sed -nE 's/.*linux-headers-([0-9][^ ,]*-amd64).*/\1/p')
  [ -n "$GUEST_KVER" ] || { guest_fail "no kernel version from linux-headers-amd64"; return 1; }
  GUEST_KROOT=$GUEST_CACHE/kroot
  if [ ! -f "$GUEST_KROOT/boot/vmlinuz-$GUEST_KVER" ] ||
     [ ! -s "$GUEST_KROOT/lib/modules/$GUEST_KVER/modules.dep" ]; then
    echo "guest: fetching Debian's kernel linux-image-$GUEST_KVER"
    mkdir -p "$GUEST_CACHE/debs"
    rm -f "$GUEST_CACHE"/debs/linux-image-"$GUEST_KVER"_*.deb
    # Stale package lists name a file the mirror no longer has: refresh them once.
    (cd "$GUEST_CACHE/debs" && { apt-get download -q "linux-image-$GUEST_KVER" ||
       { apt_update && apt-get download -q "linux-image-$GUEST_KVER"; }; } </dev/null) ||
      { guest_fail "apt-get download linux-image-$GUEST_KVER failed"; return 1; }
    rm -rf "$GUEST_KROOT.part"
    dpkg-deb -x "$(ls "$GUEST_CACHE"/debs/linux-image-"$GUEST_KVER"_*.deb | tail -1)" "$GUEST_KROOT.part" &&
      depmod -b "$GUEST_KROOT.part" "$GUEST_KVER" ||
      { guest_fail "cannot unpack linux-image-$GUEST_KVER"; return 1; }
    rm -rf "$GUEST_KROOT" && mv "$GUEST_KROOT.part" "$GUEST_KROOT"
    rm -f "$GUEST_CACHE"/debs/linux-image-*.deb
  fi
  # The kernel's build directory points at the headers package, for modules built out of tree.
  [ -e "$GUEST_KROOT/lib/modules/$GUEST_KVER/build" ] ||
    ln -sfn "/usr/src/linux-headers-$GUEST_KVER" "$GUEST_KROOT/lib/modules/$GUEST_KVER/build"
  guest_boot_image
  export GUEST_KVER GUEST_KROOT
}

# The image QEMU boots: the uncompressed vmlinux through its PVH entry point where the kernel
# has one (saves unpacking the xz kernel under TCG, about 4 s of every boot), else the bzImage.
guest_boot_image() {
  local vmlinuz=$GUEST_KROOT/boot/vmlinuz-$GUEST_KVER elf=$GUEST_CACHE/vmlinux-$GUEST_KVER offset
  GUEST_BOOT=$vmlinuz
  grep -q '^CONFIG_PVH=y' "$GUEST_KROOT/boot/config-$GUEST_KVER" 2>/dev/null || return 0
  if [ ! -s "$elf" ]; then
    offset=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | head -1 | cut -d: -f1)
    [ -n "$offset" ] && tail -c +$((offset + 1)) "$vmlinuz" | xz -dc --single-stream > "$elf.part" 2>/dev/null
    if [ "$(head -c4 "$elf.part" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
      mv "$elf.part" "$elf"
    else
      rm -f "$elf.part"
    fi
  fi
  [ -s "$elf" ] && GUEST_BOOT=$elf
  return 0
}

guest_available() {
  if [ -n "${guest_available_answer:-}" ]; then return "$guest_available_answer"; fi
  guest_available_answer=1
  local tool
  guest_prepare || return 1
  for tool in qemu-system-x86_64 cpio gzip modinfo timeout; do
    command -v "$tool" > /dev/null ||
      { guest_unavailable_reason="$tool is missing"; return 1; }
  done
  [ -x /bin/busybox ] && ! ldd /bin/busybox > /dev/null 2>&1 ||
    { guest_unavailable_reason="no static busybox at /bin/busybox"; return 1; }
  local status=0 output
  output=$(cd /tmp && run_in_guest --timeout 180 --share "$GUEST_CACHE" 'true' 2>&1) || status=$?
  if [ "$status" -ne 0 ]; then
    guest_unavailable_reason="QEMU did not boot the guest (status $status: $(echo "$output" | tail -1))"
    return 1
  fi
  guest_available_answer=0
}

# Prints the modules to load, one "file" per line, each after the modules it depends on and
# each once. $1: a module name or .ko path; the names seen so far are in guest_seen.
guest_module_closure() {
  local module=$1 file dependency name
  if [ -f "$module" ]; then
    file=$module
  else
    file=$(modinfo -b "$GUEST_KROOT" -k "$GUEST_KVER" -n "$module" 2>/dev/null) || {
      echo "guest: no module $module in kernel $GUEST_KVER" >&2; return 1; }
    [ -f "$file" ] || return 0   # built into the kernel
  fi
  name=$(basename "$file"); name=${name%%.ko*}; name=${name//-/_}
  case " $guest_seen " in *" $name "*) return 0 ;; esac
  guest_seen="$guest_seen $name"
  for dependency in $(modinfo -F depends "$file" | tr ',' ' '); do
    guest_module_closure "$dependency" || return 1
  done
  echo "$file"
}

# Reads the guest's console and prints the command's output as it comes: the lines between
# the start mark and the exit mark, and the harness's own "guest: " lines. Kernel messages
# (time-stamped) are left out. The status after the exit mark goes into the file $2.
guest_console_filter() {
  local mark=$1 status_file=$2 running=0 line before
  local kernel_message='^\[ *[0-9]+\.[0-9]+\] '
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    if [[ $line == *"$mark exit "* ]]; then
      before=${line%%"$mark exit "*}
      [ $running = 1 ] && [ -n "$before" ] && printf '%s\n' "$before"
      printf '%s\n' "${line##*"$mark exit "}" > "$status_file"
      running=0
    elif [[ $line == *"$mark start" ]]; then
      running=1
    elif [[ $line =~ $kernel_message ]]; then
      continue
    elif [ $running = 1 ] || [[ $line == "guest: "* ]]; then
      printf '%s\n' "$line"
    fi
  done
}

run_in_guest() (
  set +e -u -o pipefail
  local modules="" share=$PWD timeout_s=${GUEST_TIMEOUT_S:-900} mem_mb=${GUEST_MEM_MB:-2048}
  local -A parameters=()
  local key
  while [ $# -gt 1 ]; do
    case $1 in
      --modules) modules=$2; shift 2 ;;
      --modparams) key=${2%% *}; parameters[${key//-/_}]=${2#* }; shift 2 ;;
      --share) share=$(realpath "$2"); shift 2 ;;
      --timeout) timeout_s=$2; shift 2 ;;
      --mem) mem_mb=$2; shift 2 ;;
      *) echo "guest: unknown option $1" >&2; return 125 ;;
    esac
  done
  [ $# -eq 1 ] || { echo "usage: run_in_guest [options] 'shell command'" >&2; return 125; }
  guest_prepare > /dev/null || return 125
  [ -n "${GUEST_BOOT:-}" ] || guest_boot_image

  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/guest.XXXXXX") || return 125
  trap 'rm -rf "$work"' EXIT
  local initramfs=$work/initramfs
  mkdir -p "$initramfs"/{bin,dev,proc,sys,modules,host,layer,root}
  cp /bin/busybox "$initramfs/bin/busybox" || return 125

  # The modules, in load order, each with its parameters.
  local guest_seen="" files file name base module
  files=$(for module in $guest_base_modules $modules; do guest_module_closure "$module" || exit 1; done) ||
    return 125
  for file in $files; do
    base=$(basename "$file"); name=${base%%.ko*}
    case $file in
      *.ko.xz) xz -dc "$file" > "$initramfs/modules/$name.ko" ;;
      *.ko.zst) zstd -qdc "$file" > "$initramfs/modules/$name.ko" ;;
      *.ko.gz) gzip -dc "$file" > "$initramfs/modules/$name.ko" ;;
      *) cp "$file" "$initramfs/modules/$name.ko" ;;
    esac || return 125
    strip --strip-debug "$initramfs/modules/$name.ko" 2>/dev/null
    key=${name//-/_}
    echo "$name ${parameters[$key]:-}" >> "$initramfs/modules/order"
  done

  # The command, run by the host's own bash inside the chroot.
  local mark="guest-$$-$RANDOM"
  {
    echo "cd $(printf %q "$PWD") || exit 125"
    printf '%s\n' "$1"
  } > "$initramfs/command"

  cat > "$initramfs/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# What udev would add: bash's process substitution needs /dev/fd.
ln -s /proc/self/fd /dev/fd; ln -s fd/0 /dev/stdin; ln -s fd/1 /dev/stdout; ln -s fd/2 /dev/stderr
echo /bin/true > /proc/sys/kernel/modprobe   # every module is loaded here, by hand
leave() {
  sync
  echo "$mark exit \$1"
  printf "\\\\\$(printf %03o \$((\$1 & 255)))" | dd of=/dev/port bs=1 seek=244 count=1 2>/dev/null
  poweroff -f
}
while read -r module parameters; do
  insmod /modules/\$module.ko \$parameters || { echo "guest: insmod \$module \$parameters failed"; leave 125; }
done < /modules/order
options=trans=virtio,version=9p2000.L,msize=262144,cache=loose
mount -t 9p -o \$options,ro host /host || { echo "guest: cannot mount the host's root"; leave 125; }
mount -t tmpfs -o mode=755 layer /layer && mkdir -p /layer/upper /layer/work &&
  mount -t overlay -o lowerdir=/host,upperdir=/layer/upper,workdir=/layer/work root /root ||
  { echo "guest: cannot lay a writable layer over the root"; leave 125; }
for d in proc sys dev; do mount --bind /\$d /root/\$d; done
mkdir -p /root/dev/pts /root/dev/shm
mount -t devpts devpts /root/dev/pts
for d in /root/dev/shm /root/tmp /root/run; do mount -t tmpfs -o mode=1777 tmpfs \$d; done
mkdir -p /root$(printf %q "$share")
mount -t 9p -o \$options share /root$(printf %q "$share") || { echo "guest: cannot mount the shared directory"; leave 125; }
cp /command /root/run/guest-command
echo; echo "$mark start"
chroot /root /usr/bin/env -i HOME=/tmp TERM=dumb LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  /bin/bash /run/guest-command < /dev/null 2>&1
leave \$?
INIT
  chmod 755 "$initramfs/init"
  (cd "$initramfs" && find . | cpio -o -H newc -R 0:0 --quiet) | gzip -1 > "$work/initrd.gz" || return 125

  # The guest's serial console carries the command's output between the two marks, then the
  # status; all of it stays in the console log.
  timeout --kill-after=10 "$timeout_s" qemu-system-x86_64 -accel tcg -smp "${GUEST_CPUS:-2}" -m "$mem_mb" \
    -nographic -no-reboot -nic none -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
    -kernel "$GUEST_BOOT" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 mitigations=off" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="$share",mount_tag=share,security_model=none,multidevs=remap \
    < /dev/null 2>&1 | tee "$work/console.log" | guest_console_filter "$mark" "$work/status"
  local qemu_status=${PIPESTATUS[0]}
  if [ "$qemu_status" -eq 124 ] || [ "$qemu_status" -eq 137 ]; then
    echo "guest: stopped after $timeout_s s" >&2
    return 124
  fi
  if [ ! -s "$work/status" ]; then
    echo "guest: no exit status from the guest (QEMU status $qemu_status); the console ended:" >&2
    tail -15 "$work/console.log" >&2
    return 125
  fi
  return "$(cat "$work/status")"
)

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  case ${1:-} in
    prepare) guest_prepare ;;
    available) if guest_available; then echo "guest: available"; else echo "guest: not available: $guest_unavailable_reason"; exit 1; fi ;;
    run) shift; run_in_guest "$@" ;;
    *) echo "usage: $0 prepare | available | run [options] 'shell command'" >&2; exit 2 ;;
  esac
fi
