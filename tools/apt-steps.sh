# Sourced by tools/setup: apt's refresh, install and source download, made to survive a Debian mirror
# that is in the middle of a sync. Such a mirror serves one index (often a security suite's i386 one)
# whose size does not match its Release file; apt-get update then exits 100 although every other index
# is fresh, and an install that mixes the fresh amd64 lists with the stale i386 ones cannot pair the two
# architectures of a multiarch library (wine32). Preferring the release's own suite pairs them.

# Transient network errors (a reset connection, a timeout) are retried by apt itself before anything is
# called failed.
apt_options=(-o Acquire::Retries=3)

# The codename of the machine's release ("bookworm"), read from the system.
apt_codename() {
    local codename=""
    if [ -r /etc/os-release ]; then
        codename=$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")
    fi
    if [ -z "$codename" ] && command -v lsb_release >/dev/null 2>&1; then
        codename=$(lsb_release -sc 2>/dev/null)
    fi
    printf '%s' "$codename"
}

# apt-get update that goes on when some indexes fail: one line names them, and apt keeps the lists it
# has. Fails only when apt gives no reason that names an index (apt itself broken, a locked database).
apt_refresh() {
    local output status failed
    output=$(apt-get update -qq "${apt_options[@]}" 2>&1) && return 0
    status=$?
    failed=$(printf '%s\n' "$output" | sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' | paste -sd ' ' -)
    if [ -n "$failed" ]; then
        echo "tools/setup: apt could not refresh $failed; going on with the package lists it has"
        return 0
    fi
    printf '%s\n' "$output" >&2
    echo "tools/setup: apt-get update failed (exit $status)" >&2
    return "$status"
}

# Runs "apt-get $*" with apt's retries; when it fails, once more with the release's own suite preferred.
# Only when that fails too does it print apt's message and what to try, and fail.
apt_with_release_retry() {
    local output codename
    output=$(apt-get "${apt_options[@]}" "$@" 2>&1) && return 0
    codename=$(apt_codename)
    if [ -n "$codename" ]; then
        echo "tools/setup: apt-get $1 failed; trying again with the $codename suite preferred (-t $codename)"
        output=$(apt-get "${apt_options[@]}" -t "$codename" "$@" 2>&1) && return 0
    fi
    printf '%s\n' "$output" >&2
    echo "tools/setup: apt-get $1 failed; the Debian mirror may be in the middle of a sync: run 'make' again" \
        "in a while, or point /etc/apt/sources.list.d/ at another mirror" >&2
    return 1
}

apt_install() {
    apt_with_release_retry install -y -qq --no-install-recommends "$@"
}

# Run in the folder the source tree should be unpacked in. Root downloads without apt's sandbox user,
# which could not write into the work tree.
apt_source() {
    apt_with_release_retry source -q -o APT::Sandbox::User=root "$@"
}
