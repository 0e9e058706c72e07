#!/usr/bin/env bash
#
# compile-tools.sh - fetch and build the map compile tools that Cellforge runs
# after it has written a level (.map): BSP, vis and light, for Quake and
# Quake II.
#
# Usage: scripts/compile-tools.sh PREFIX [--source NAME=DIR]... [--jobs N]
#        scripts/compile-tools.sh --help
#
# It builds six programs into PREFIX/tools/ and writes PREFIX/tools/VERSIONS.txt:
#
#   Quake     qbsp, vis   ericw-tools, tag v0.18.1
#                         (commit b6e2431f29a1f5763d4aa5fa37cb06838580f41a)
#             light       ericw-tools, tag ericw-v0.15.9
#                         (commit a9b4e8233ad7b5794c737d4f2964613dee690ad6)
#   Quake II  qbsp3, qvis3, qrad3
#                         FreeSlave/Quake-2-Tools, commit
#                         e69e14ad945260e88cb713b69545dc4dea5eefb2
#                         (id Software's tools with 64-bit fixes)
#
# Why these versions:
#   * ericw-tools v0.18.1 is the last stable release before the 2.0 line; its
#     qbsp and vis build with Debian 12's packages alone (with clang 14: g++ 12
#     rejects one offsetof). The 2.0 alphas need Embree 4, git submodules and
#     a GoogleTest download.
#   * v0.18.1's light only traces rays with Embree 2 ("no backend available"
#     without it). Debian 12 ships Embree 3 only (libembree-dev 3.13.5), and
#     v0.18.1 neither finds it (its CMake asks for embree 2.x) nor compiles
#     against it (it includes <embree2/rtcore.h>). So light comes from
#     ericw-v0.15.9, the last stable release that still has its own ray
#     tracer (0.15.10 switched it off): it needs no Embree and links only the
#     C/C++ runtime.
#   * id's own qrad3 crashes on 64-bit systems; FreeSlave's fork fixes that.
#     Its makefiles all preprocess through one shared /tmp/temp.i and qvis3
#     links with -lm before its objects; this script patches both in its own
#     build copy (one .i file per object, -lm after the objects). It also
#     fixes one line of qrad3, which otherwise leaves lights that have no
#     "_color" key black (it tests _color[1] of an empty string).
#
# The tools' code is not part of Cellforge and is never committed to it: this
# script downloads it at build time (git clone of the public repositories,
# pinned commits verified) or takes it from a local clone (--source), builds
# it in a temporary folder that is removed afterwards, and installs only the
# six binaries. The tools are free software under the GNU GPL (version 2 or
# later); their sources are at the repositories named above.
#
# On Debian 12 it installs the build packages it needs with apt-get (as root,
# or through sudo); it needs no other package source.

set -euo pipefail

readonly ERICW_URL="https://github.com/ericwa/ericw-tools.git"
readonly ERICW_TAG="v0.18.1"
readonly ERICW_COMMIT="b6e2431f29a1f5763d4aa5fa37cb06838580f41a"
readonly LIGHT_TAG="ericw-v0.15.9"
readonly LIGHT_COMMIT="a9b4e8233ad7b5794c737d4f2964613dee690ad6"
readonly Q2_URL="https://github.com/FreeSlave/Quake-2-Tools.git"
readonly Q2_COMMIT="e69e14ad945260e88cb713b69545dc4dea5eefb2"
readonly LICENCE="GNU GPL version 2 or later"

readonly PROG="${0##*/}"

usage() {
    cat <<EOF
Usage: $PROG PREFIX [--source NAME=DIR]... [--jobs N]
       $PROG --help

Builds the map compile tools Cellforge runs into PREFIX/tools/:
  Quake     qbsp, vis (ericw-tools $ERICW_TAG), light (ericw-tools $LIGHT_TAG)
  Quake II  qbsp3, qvis3, qrad3 (FreeSlave/Quake-2-Tools ${Q2_COMMIT:0:12})
and writes PREFIX/tools/VERSIONS.txt. Rerunning replaces the binaries.

By default the sources are cloned from
  $ERICW_URL
  $Q2_URL
and the pinned commits are checked. To build without network, give a local copy:
  --source ericw-tools=DIR        a git clone of ericw-tools (must hold tags
                                  $ERICW_TAG and $LIGHT_TAG), or a plain source
                                  tree of $ERICW_TAG (then light needs the next)
  --source ericw-tools-light=DIR  a git clone or plain tree of $LIGHT_TAG
  --source quake2-tools=DIR       a git clone or plain tree of Quake-2-Tools
A plain tree (no git) is copied as it is and its commit cannot be checked.

  --jobs N    parallel compile jobs (default 2)
  --help      show this text

Needs Debian 12 (or a system with git, cmake, make, clang and gcc): missing
packages are installed with apt-get when run as root or with sudo.
EOF
}

die() { printf '%s: error: %s\n' "$PROG" "$*" >&2; exit 1; }
warn() { printf '%s: warning: %s\n' "$PROG" "$*" >&2; }
say() { printf '%s\n' "$*"; }

STAGE_NAME=""
STAGE_START=0
stage() {
    stage_done
    STAGE_NAME="$1"
    STAGE_START=$SECONDS
    say "==> $STAGE_NAME"
}
stage_done() {
    if [[ -n "$STAGE_NAME" ]]; then
        say "    ($STAGE_NAME: $((SECONDS - STAGE_START)) s)"
        STAGE_NAME=""
    fi
}

# Runs a command with its output in a log file; on failure shows the log's end.
run_logged() {
    local log="$1"; shift
    if ! "$@" >>"$log" 2>&1; then
        printf '%s: error: command failed: %s\n' "$PROG" "$*" >&2
        printf '%s: last lines of %s:\n' "$PROG" "${log##*/}" >&2
        tail -n 25 "$log" >&2
        exit 1
    fi
}

# ---------------------------------------------------------------- arguments
PREFIX=""
JOBS=2
declare -A SRC=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        -h|--help) usage; exit 0 ;;
        --source)
            [[ $# -ge 2 ]] || die "--source needs NAME=DIR"
            set -- "--source=$2" "${@:3}"; continue ;;
        --source=*)
            pair="${1#--source=}"
            name="${pair%%=*}"; dir="${pair#*=}"
            [[ "$pair" == *=* && -n "$name" && -n "$dir" ]] || die "--source needs NAME=DIR, got '$pair'"
            case "$name" in
                ericw-tools|ericw-tools-light|quake2-tools) ;;
                *) die "unknown source '$name' (use ericw-tools, ericw-tools-light or quake2-tools)" ;;
            esac
            [[ -d "$dir" ]] || die "--source $name: '$dir' is not a folder"
            SRC[$name]="$(cd "$dir" && pwd -P)" ;;
        --jobs)
            [[ $# -ge 2 ]] || die "--jobs needs a number"
            set -- "--jobs=$2" "${@:3}"; continue ;;
        --jobs=*)
            JOBS="${1#--jobs=}"
            [[ "$JOBS" =~ ^[1-9][0-9]*$ ]] || die "--jobs needs a positive number, got '$JOBS'" ;;
        -*) die "unknown option '$1' (see --help)" ;;
        *)
            [[ -z "$PREFIX" ]] || die "only one PREFIX may be given (got '$PREFIX' and '$1')"
            PREFIX="$1" ;;
    esac
    shift
done
[[ -n "$PREFIX" ]] || { usage >&2; exit 2; }
mkdir -p "$PREFIX/tools" || die "cannot create '$PREFIX/tools'"
PREFIX="$(cd "$PREFIX" && pwd -P)"
TOOLS="$PREFIX/tools"
[[ -w "$TOOLS" ]] || die "'$TOOLS' is not writable"

TOTAL_START=$SECONDS

# A folder counts as a git repository only if it is one itself (a work tree
# top, a .git folder or a bare repository), not a plain tree that merely sits
# inside some other repository.
looks_like_git() {
    local d="$1"
    [[ -e "$d/.git" ]] || [[ -f "$d/HEAD" && -d "$d/objects" ]]
}
is_git_repo() {
    local d="$1" top
    looks_like_git "$d" || return 1
    git -C "$d" rev-parse --git-dir >/dev/null 2>&1 || return 1
    [[ "$(git -C "$d" rev-parse --is-bare-repository)" == true ]] && return 0
    [[ "$(git -C "$d" rev-parse --is-inside-git-dir)" == true ]] && return 0
    top="$(git -C "$d" rev-parse --show-toplevel)" || return 1
    [[ "$(cd "$top" && pwd -P)" == "$d" ]]
}

# ---------------------------------------------------------------- packages
stage "Checking build packages"
need_git=0
for name in ericw-tools ericw-tools-light quake2-tools; do
    if [[ -z "${SRC[$name]:-}" ]]; then
        # light comes from the ericw-tools source when that is a git clone
        if [[ "$name" == ericw-tools-light && -n "${SRC[ericw-tools]:-}" ]] &&
            looks_like_git "${SRC[ericw-tools]}"; then
            continue
        fi
        need_git=1
    elif looks_like_git "${SRC[$name]}"; then
        need_git=1
    fi
done
if [[ -n "${SRC[ericw-tools]:-}" && -z "${SRC[ericw-tools-light]:-}" ]] &&
    ! looks_like_git "${SRC[ericw-tools]}"; then
    warn "--source ericw-tools is a plain tree of $ERICW_TAG only; light ($LIGHT_TAG) will be cloned from $ERICW_URL (or give --source ericw-tools-light=DIR)"
fi

PKGS=(cmake make clang gcc g++ libc6-dev)
CMDS=(cmake make clang clang++ cc)
if [[ $need_git -eq 1 ]]; then
    PKGS+=(git ca-certificates)
    CMDS+=(git)
fi

if command -v dpkg-query >/dev/null 2>&1 && command -v apt-get >/dev/null 2>&1; then
    missing=()
    for p in "${PKGS[@]}"; do
        status="$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)"
        [[ "$status" == "install ok installed" ]] || missing+=("$p")
    done
    if [[ ${#missing[@]} -eq 0 ]]; then
        say "    all present: ${PKGS[*]}"
    else
        say "    to install: ${missing[*]}"
        if [[ $EUID -eq 0 ]]; then
            SUDO=()
        elif command -v sudo >/dev/null 2>&1; then
            SUDO=(sudo)
        else
            printf '%s: error: missing packages; as root, run:\n  apt-get update && apt-get install -y --no-install-recommends %s\nthen run this script again.\n' \
                "$PROG" "${missing[*]}" >&2
            exit 1
        fi
        "${SUDO[@]}" apt-get update -q || die "apt-get update failed"
        "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -q --no-install-recommends "${missing[@]}" ||
            die "apt-get install failed: ${missing[*]}"
    fi
else
    warn "no apt-get/dpkg here: not installing anything, only checking commands"
fi
for c in "${CMDS[@]}"; do
    command -v "$c" >/dev/null 2>&1 || die "command '$c' not found; install it and rerun"
done

WORK="$(mktemp -d "${TMPDIR:-/tmp}/cellforge-tools.XXXXXX")" || die "mktemp failed"
trap 'rm -rf "$WORK"' EXIT
LOGS="$WORK/logs"
mkdir -p "$LOGS"

# ---------------------------------------------------------------- sources
declare -A CLONED=()   # url -> local clone in $WORK
declare -A ORIGIN=()   # component -> where its code came from (for VERSIONS.txt)

CLONE_DIR=""
clone_once() {  # url -> sets CLONE_DIR to a clone of it in $WORK
    local url="$1" dest
    if [[ -z "${CLONED[$url]:-}" ]]; then
        dest="$WORK/clone-${#CLONED[@]}"
        say "    git clone $url"
        git clone --quiet --no-checkout "$url" "$dest" >>"$LOGS/clone.log" 2>&1 ||
            die "could not clone $url (no network?); build from a local copy with --source NAME=DIR (see --help)"
        CLONED[$url]="$dest"
    fi
    CLONE_DIR="${CLONED[$url]}"
}

# export_from_git REPO TAG-or-empty COMMIT DEST: checks the pinned commit
# (and that the tag, where the repository has it, names that commit), then
# writes that commit's files to DEST.
export_from_git() {
    local repo="$1" tag="$2" commit="$3" dest="$4" got
    git -C "$repo" cat-file -e "$commit^{commit}" 2>/dev/null ||
        die "$repo does not hold commit $commit${tag:+ (tag $tag)}; fetch it there first"
    if [[ -n "$tag" ]] && got="$(git -C "$repo" rev-parse -q --verify "refs/tags/$tag^{commit}" 2>/dev/null)"; then
        [[ "$got" == "$commit" ]] ||
            die "tag $tag in $repo is commit $got, not the pinned $commit; refusing to build it"
    fi
    got="$(git -C "$repo" rev-parse --verify "$commit^{commit}")"
    [[ "$got" == "$commit" ]] || die "commit check failed in $repo: $got != $commit"
    mkdir -p "$dest"
    # testmaps holds large sample files that some mirrors lack; it is not built.
    if ! git -C "$repo" archive --format=tar "$commit" -- . ':(exclude)testmaps' \
        2>"$LOGS/archive.err" | tar -x -C "$dest"; then
        cat "$LOGS/archive.err" >&2
        die "could not export commit $commit from $repo"
    fi
}

# get_source COMPONENT SOURCE-NAME URL TAG COMMIT DEST CHECK-FILE
get_source() {
    local comp="$1" name="$2" url="$3" tag="$4" commit="$5" dest="$6" check="$7" dir
    dir="${SRC[$name]:-}"
    if [[ -z "$dir" && "$name" == ericw-tools-light && -n "${SRC[ericw-tools]:-}" ]] &&
        looks_like_git "${SRC[ericw-tools]}"; then
        dir="${SRC[ericw-tools]}"
    fi
    if [[ -z "$dir" ]]; then
        clone_once "$url"
        export_from_git "$CLONE_DIR" "$tag" "$commit" "$dest"
        ORIGIN[$comp]="git clone of $url, commit verified"
    elif is_git_repo "$dir"; then
        say "    $comp: commit ${commit:0:12} from local git repository $dir"
        export_from_git "$dir" "$tag" "$commit" "$dest"
        ORIGIN[$comp]="local git repository (mirror of $url), commit verified"
    else
        warn "$comp: '$dir' is not a git repository; copying it as it is (its commit cannot be verified)"
        mkdir -p "$dest"
        cp -a "$dir/." "$dest/"
        rm -rf "$dest/build"
        ORIGIN[$comp]="local source tree, commit NOT verified"
    fi
    [[ -f "$dest/$check" ]] || die "$comp source has no $check: is it the right repository?"
}

stage "Getting sources"
get_source ericw ericw-tools "$ERICW_URL" "$ERICW_TAG" "$ERICW_COMMIT" "$WORK/src/ericw" qbsp/qbsp.cc
get_source light ericw-tools-light "$ERICW_URL" "$LIGHT_TAG" "$LIGHT_COMMIT" "$WORK/src/light" light/light.cc
get_source quake2 quake2-tools "$Q2_URL" "" "$Q2_COMMIT" "$WORK/src/quake2" bsp/qrad3/makefile

# ---------------------------------------------------------------- ericw-tools
# build_ericw SRC BUILD VERSION TARGET...
build_ericw() {
    local src="$1" build="$2" version="$3" log
    shift 3
    log="$LOGS/${build##*/}.log"
    # The version string normally comes from "git describe", which has no
    # repository to look at here (or would describe the wrong one).
    sed -i "s/COMMAND git describe --dirty/COMMAND echo $version/" "$src/CMakeLists.txt"
    grep -q "COMMAND echo $version" "$src/CMakeLists.txt" ||
        die "unexpected ericw-tools CMakeLists.txt (version line not found)"
    # clang: g++ 12 rejects an offsetof in v0.18.1. Embree is switched off so
    # the result does not depend on what happens to be installed.
    run_logged "$log" env CC=clang CXX=clang++ cmake -S "$src" -B "$build" \
        -DCMAKE_BUILD_TYPE=Release -DGROFF=GROFF-NOTFOUND \
        -DCMAKE_DISABLE_FIND_PACKAGE_embree=TRUE -Wno-dev -Wno-deprecated
    run_logged "$log" make -C "$build" -j "$JOBS" "$@"
}

stage "Building Quake qbsp, vis (ericw-tools $ERICW_TAG)"
build_ericw "$WORK/src/ericw" "$WORK/build-ericw" "$ERICW_TAG" qbsp vis

stage "Building Quake light (ericw-tools $LIGHT_TAG)"
build_ericw "$WORK/src/light" "$WORK/build-light" "$LIGHT_TAG" light

# ---------------------------------------------------------------- Quake II
stage "Building Quake II qbsp3, qvis3, qrad3 (Quake-2-Tools ${Q2_COMMIT:0:12})"
Q2="$WORK/src/quake2/bsp"
for t in qbsp3 qvis3 qrad3; do
    mk="$Q2/$t/makefile"
    [[ -f "$mk" ]] || die "Quake-2-Tools source has no bsp/$t/makefile"
    # One preprocessed file per object instead of the shared /tmp/temp.i, so
    # builds cannot clash (with each other, or with parallel make).
    sed -i 's#/tmp/temp\.i#$@.i#g' "$mk"
    ! grep -q '/tmp/temp\.i' "$mk" || die "could not patch /tmp/temp.i out of bsp/$t/makefile"
done
# qvis3 puts -lm before its objects, which current linkers reject.
mk="$Q2/qvis3/makefile"
# shellcheck disable=SC2016  # $(...) here are make variables, not shell
sed -i -e 's/^\(LDFLAGS[[:space:]]*=.*\)[[:space:]]-lm[[:space:]]*$/\1/' \
       -e 's/^\(\tcc -o \$(EXE) \$(LDFLAGS) \$(FILES)\)[[:space:]]*$/\1 -lm/' "$mk"
# shellcheck disable=SC2016
grep -q '^	cc -o \$(EXE) \$(LDFLAGS) \$(FILES) -lm$' "$mk" ||
    die "could not patch the link line of bsp/qvis3/makefile"
# qrad3 tests a light's "_color" key with _color[1], which reads past the
# end of the empty string a light without that key gets: such lights then
# come out black. Test the first character instead (no key: white light).
src="$Q2/qrad3/lightmap.c"
sed -i 's/if (_color && _color\[1\])/if (_color \&\& _color[0])/' "$src"
grep -q 'if (_color && _color\[0\])' "$src" ||
    die "could not patch the _color test in bsp/qrad3/lightmap.c"
for t in qbsp3 qvis3 qrad3; do
    # "dirs" first: the makefiles do not order it before the objects.
    run_logged "$LOGS/quake2.log" make -C "$Q2/$t" dirs
    run_logged "$LOGS/quake2.log" make -C "$Q2/$t" -j "$JOBS"
done

# ---------------------------------------------------------------- install
stage "Installing into $TOOLS"
declare -A BIN=(
    [qbsp]="$WORK/build-ericw/qbsp/qbsp"
    [vis]="$WORK/build-ericw/vis/vis"
    [light]="$WORK/build-light/light/light"
    [qbsp3]="$Q2/bin/qbsp3"
    [qvis3]="$Q2/bin/qvis3"
    [qrad3]="$Q2/bin/qrad3"
)
ORDER=(qbsp vis light qbsp3 qvis3 qrad3)
for t in "${ORDER[@]}"; do
    f="${BIN[$t]}"
    [[ -x "$f" ]] || die "build produced no $t (expected $f)"
    if ldd "$f" 2>/dev/null | grep -q 'not found'; then
        ldd "$f" >&2
        die "$t needs a shared library that is missing"
    fi
    # Each tool prints its usage when run without a map; a crash here means a
    # broken build.
    rc=0
    out="$(cd "$WORK" && timeout 20 "$f" 2>&1 </dev/null)" || rc=$?
    [[ $rc -lt 124 && -n "$out" ]] || die "$t does not start (exit $rc)"
done
for t in "${ORDER[@]}"; do
    tmp="$TOOLS/.$t.new.$$"
    cp "${BIN[$t]}" "$tmp"
    chmod 755 "$tmp"
    mv -f "$tmp" "$TOOLS/$t"
    say "    $TOOLS/$t"
done

built="$(date -u '+%Y-%m-%d %H:%M:%S UTC')"
cc_ver="$(clang --version | head -n 1); $(cc --version | head -n 1)"
# shellcheck disable=SC1091
os_name="$(. /etc/os-release 2>/dev/null && printf '%s' "${PRETTY_NAME:-}")" || os_name=""
{
    printf '# Map compile tools built by Cellforge scripts/compile-tools.sh\n'
    printf '# Built on: %s%s\n' "$built" "${os_name:+ ($os_name)}"
    printf '# Compilers: %s\n' "$cc_ver"
    printf '# These programs are not part of Cellforge. They are free software under\n'
    printf '# the %s; their sources are at the repositories below.\n\n' "$LICENCE"
    for t in qbsp vis; do
        printf '%s\trepository %s\ttag %s\tcommit %s\tlicence %s\tsource %s\tbuilt %s\n' \
            "$t" "$ERICW_URL" "$ERICW_TAG" "$ERICW_COMMIT" "GPL-2.0-or-later" "${ORIGIN[ericw]}" "$built"
    done
    printf '%s\trepository %s\ttag %s\tcommit %s\tlicence %s\tsource %s\tbuilt %s\n' \
        light "$ERICW_URL" "$LIGHT_TAG" "$LIGHT_COMMIT" "GPL-2.0-or-later" "${ORIGIN[light]}" "$built"
    for t in qbsp3 qvis3 qrad3; do
        printf '%s\trepository %s\ttag (none)\tcommit %s\tlicence %s\tsource %s\tbuilt %s\n' \
            "$t" "$Q2_URL" "$Q2_COMMIT" "GPL-2.0-or-later" "${ORIGIN[quake2]}" "$built"
    done
    printf '\n# Build changes: Quake II makefiles use one .i file per object (not\n'
    printf '# /tmp/temp.i) and link qvis3 with -lm last; qrad3 lightmap.c tests\n'
    printf '# _color[0] instead of _color[1] (lights without "_color" were black).\n'
    printf '# ericw-tools: version string set from the tag; built with clang, no Embree.\n' 
} >"$TOOLS/.VERSIONS.txt.new.$$"
mv -f "$TOOLS/.VERSIONS.txt.new.$$" "$TOOLS/VERSIONS.txt"
say "    $TOOLS/VERSIONS.txt"

stage_done
say "Done in $((SECONDS - TOTAL_START)) s. Tools are in $TOOLS"
