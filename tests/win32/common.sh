# shellcheck shell=bash
# Shared by the Windows test runners (sourced, not run): Wine, Windows paths,
# the fresh run folder, the recording browser and registry snapshots.
# Every runner takes the Windows build folder as its first argument.

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine=$repo/scripts/wine.sh

# The Windows spelling of a Unix path, through the prefix's Z: drive.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# A fresh folder BUILD/tests/win32/NAME holding the DLL, the shipped data
# files, the host's type library and the recording browser; prints its path.
prepare_folder() {
    local build=$1 name=$2 run
    run=$build/tests/win32/$name
    rm -rf "$run"
    mkdir -p "$run"
    cp "$build/bin/Varnoke.dll" "$repo/data/varnokeL.xml" "$repo/data/acturl.xml" \
       "$build/generated/SmartTagLib.tlb" "$build/bin/record_url.exe" "$run/"
    printf '%s\n' "$run"
}

# Points the http and https open commands at record_url.exe in FOLDER (it
# logs to FOLDER/record_url.log) and puts the previous commands back when the
# runner exits. The shell honours these keys, not HKCU\Software\Classes.
url_handler_folder=
install_url_handler() {
    url_handler_folder=$1
    local scheme
    for scheme in http https; do
        "$wine" reg export "HKCR\\$scheme\\shell\\open\\command" \
            "$(winpath "$url_handler_folder/saved-$scheme.reg")" /y >/dev/null
    done
    trap restore_url_handler EXIT
    for scheme in http https; do
        "$wine" reg add "HKCR\\$scheme\\shell\\open\\command" /ve /f \
            /d "\"$(winpath "$url_handler_folder/record_url.exe")\" \"%1\"" >/dev/null
    done
}

restore_url_handler() {
    local scheme saved
    for scheme in http https; do
        saved=$url_handler_folder/saved-$scheme.reg
        # A saved command naming a recorder is a leftover of a killed run.
        if [ -f "$saved" ] && ! iconv -f UTF-16 -t UTF-8 "$saved" | grep -qi record_url; then
            "$wine" reg import "$(winpath "$saved")" >/dev/null 2>&1 || true
        else
            "$wine" reg add "HKCR\\$scheme\\shell\\open\\command" /ve /f \
                /d '"C:\windows\system32\winebrowser.exe" "%1"' >/dev/null 2>&1 || true
        fi
    done
}

# Whether the host's SmartTagLib 1.2 is registered in the prefix.
host_library_registered() {
    "$wine" reg query 'HKCR\TypeLib\{9B92EB61-CBC1-11D3-8C2D-00A0CC37B591}\1.2' >/dev/null 2>&1
}

# KEY as sorted "[key-path]<TAB>value-line" lines (a value continued over
# several lines is joined), so two snapshots compare with comm.
snapshot() {
    local key=$1 out=$2 reg=$2.reg said attempt
    # Tried three times, and said when it fails: a CI run under load lost a
    # step of these scripts without a word, and reg speaks on stdout only.
    for attempt in 1 2 3; do
        said=$("$wine" reg export "$key" "$(winpath "$reg")" /y 2>&1) && break
        echo "NOTE: reg export $key failed (attempt $attempt): $(tr -d '\r' <<<"$said" | head -3)" >&2
        [ "$attempt" = 3 ] && return 1
        sleep 1
    done
    iconv -f UTF-16 -t UTF-8 "$reg" | tr -d '\r' | awk '
        NR == 1 { next }
        /^\[/ { key = $0; print key; next }
        /^$/ { next }
        {
            line = $0
            while (line ~ /\\$/ && (getline more) > 0) {
                sub(/\\$/, "", line); sub(/^ +/, "", more); line = line more
            }
            print key "\t" line
        }' | LC_ALL=C sort > "$out"
    rm -f "$reg"
}

# The two classes.
# shellcheck disable=SC2034  # used by the runners
recognizer='{1648DD46-CF9C-466B-9179-871133C2A747}'
# shellcheck disable=SC2034  # used by the runners
action='{2AF9659D-545C-460B-8F55-CFCB34662697}'

# Snapshot NAME of both registry halves a registration or a package can
# touch, sorted, into $snapshots/NAME (the runner's folder of snapshots).
take() {
    local dir=${snapshots:?the runner names its snapshot folder}
    snapshot 'HKLM\Software' "$dir/$1.hklm"
    snapshot 'HKCU\Software' "$dir/$1.hkcu"
    cat "$dir/$1.hklm" "$dir/$1.hkcu" | LC_ALL=C sort > "$dir/$1"
}
