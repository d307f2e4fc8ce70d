# The kernel's virtual DVB driver (vidtv) for the QEMU guest. Debian builds no vidtv, so its three
# modules (drivers/media/test-drivers/vidtv) are built out of tree from Debian's linux-source
# package, against linux-headers of the guest's kernel. Sourced by .ci/provision.sh.
#
#   provision_vidtv   builds them once into $GUEST_CACHE/vidtv-build-<kernel>; sets VIDTV_MODULES,
#                     the three .ko files in load order. Says why in one line when it cannot.

provision_vidtv() {
  guest_prepare > /dev/null || { echo "vidtv: no guest kernel: ${guest_unavailable_reason:-}"; return 1; }
  local series source_dir build_dir start
  series=$(echo "$GUEST_KVER" | sed -E 's/^([0-9]+\.[0-9]+).*/\1/')
  source_dir=$GUEST_CACHE/vidtv-src-$series
  build_dir=$GUEST_CACHE/vidtv-build-$GUEST_KVER
  VIDTV_MODULES="$build_dir/dvb-vidtv-tuner.ko $build_dir/dvb-vidtv-demod.ko $build_dir/dvb-vidtv-bridge.ko"
  if [ -f "$build_dir/dvb-vidtv-bridge.ko" ]; then
    echo "vidtv: modules for $GUEST_KVER in $build_dir"
    return 0
  fi
  if [ ! -f "$source_dir/vidtv_bridge.c" ]; then
    echo "vidtv: fetching linux-source-$series for drivers/media/test-drivers/vidtv"
    mkdir -p "$GUEST_CACHE/debs"
    (cd "$GUEST_CACHE/debs" && rm -f linux-source-"$series"_*.deb &&
       apt-get download -q "linux-source-$series" </dev/null > /dev/null) ||
      { echo "vidtv: apt-get download linux-source-$series failed"; return 1; }
    rm -rf "$source_dir.part" && mkdir -p "$source_dir.part"
    dpkg-deb --fsys-tarfile "$(ls "$GUEST_CACHE"/debs/linux-source-"$series"_*.deb | tail -1)" |
      tar -xO "./usr/src/linux-source-$series.tar.xz" |
      tar -xJ -C "$source_dir.part" --strip-components=5 --wildcards \
        "linux-source-$series/drivers/media/test-drivers/vidtv/*" ||
      { echo "vidtv: linux-source-$series holds no vidtv sources"; return 1; }
    rm -rf "$source_dir" && mv "$source_dir.part" "$source_dir"
    rm -f "$GUEST_CACHE"/debs/linux-source-*.deb
  fi
  rm -rf "$build_dir.part" && mkdir -p "$build_dir.part" && cp "$source_dir"/* "$build_dir.part/"
  start=$SECONDS
  make -s -C "/usr/src/linux-headers-$GUEST_KVER" M="$build_dir.part" CONFIG_DVB_VIDTV=m modules \
    > "$build_dir.part/build.log" 2>&1 ||
    { echo "vidtv: does not build against linux-headers-$GUEST_KVER: $(grep -m1 -i error "$build_dir.part/build.log")"
      return 1; }
  rm -rf "$build_dir" && mv "$build_dir.part" "$build_dir"
  echo "vidtv: built dvb-vidtv-{tuner,demod,bridge}.ko for $GUEST_KVER in $((SECONDS - start)) s"
}
