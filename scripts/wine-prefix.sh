# Sourced by the Windows test scripts: a Wine prefix at $WINEPREFIX made from
# nothing, which lives only as long as the script that made it.
#
# wineboot copies every program and DLL of the Wine install into a new prefix,
# about 700 MB. Identical copies become links to the installed files, which
# leaves about 84 MB. The prefix is removed when the script ends, so no later
# Wine version updates it and writes through the links.

wine=/usr/lib/wine/wine64

remove_wine_prefix() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}

link_wine_dlls() {
  local installed=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows copy
  for copy in "$WINEPREFIX/drive_c/windows/system32"/*; do
    if [ -f "$installed/${copy##*/}" ] && [ ! -L "$copy" ] && cmp -s "$copy" "$installed/${copy##*/}"; then
      ln -sf "$installed/${copy##*/}" "$copy"
    fi
  done
}

boot_wine_prefix() {
  "$wine" wineboot --init </dev/null &&
    /usr/lib/wine/wineserver -w &&
    link_wine_dlls
}

# A prefix that fails to come up is shown with Wine's last words and the free
# space, then made once more; Wine hides them otherwise.
make_wine_prefix() {
  local log=$1 attempt
  trap remove_wine_prefix EXIT
  for attempt in 1 2; do
    remove_wine_prefix
    if WINEDEBUG=err+all boot_wine_prefix >"$log" 2>&1; then
      return
    fi
    echo "Wine could not make its prefix (attempt $attempt); its last words, and the free space:" >&2
    tail -n 40 "$log" >&2
    df -h "$(dirname "$WINEPREFIX")" >&2
  done
  exit 1
}
