#!/usr/bin/env bash
# Checks docs/dcdml.xsd (and the per-unit-system schemas) against the golden
# DCDML documents with xmllint.
#
#   dcdml_schema_test.sh SOURCE_DIR golden   every tests/golden/*.dcdml-*.xml is
#                                            valid, also under the schema of its
#                                            own unit system
#   dcdml_schema_test.sh SOURCE_DIR broken   small corruptions of golden files
#                                            are rejected; a few documents the
#                                            program can write but no golden
#                                            file shows are accepted
#
# Exits 77 (reported by CTest as skipped) when xmllint is not installed.
set -u

src=${1:?source directory}
mode=${2:?golden or broken}
docs=$src/docs
golden=$src/tests/golden

if ! command -v xmllint >/dev/null 2>&1; then
    echo "xmllint not found (package libxml2-utils); skipping"
    exit 77
fi

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# valid SCHEMA FILE: the file must validate.
valid() {
    local out
    if ! out=$(xmllint --noout --schema "$1" "$2" 2>&1); then
        fail "$2 should be valid against $(basename "$1")"
        echo "$out" | head -n 5
    fi
}

# invalid SCHEMA FILE WHAT: the file must be rejected for a schema reason (a
# file that is not even well-formed would prove nothing about the schema).
invalid() {
    local out
    if ! xmllint --noout "$2" >/dev/null 2>&1; then
        fail "$3: the mutated file is not well-formed XML"
        return
    fi
    if out=$(xmllint --noout --schema "$1" "$2" 2>&1); then
        fail "$3: accepted by $(basename "$1")"
    elif ! grep -q "Schemas validity error" <<<"$out"; then
        fail "$3: rejected without a validity error"
        echo "$out" | head -n 5
    else
        echo "rejected as expected: $3: $(grep -m1 "Schemas validity error" <<<"$out" | sed 's/.*Schemas validity error : //')"
    fi
}

rootUnits() {
    grep -o -m1 '<dcdml [^>]*' "$1" | grep -o 'units="[a-z]*"' | head -n 1 | cut -d'"' -f2
}

shopt -s nullglob
files=("$golden"/*.dcdml-*.xml)
if [ ${#files[@]} -eq 0 ]; then
    echo "no golden DCDML files in $golden"
    exit 1
fi

case $mode in
golden)
    for f in "${files[@]}"; do
        valid "$docs/dcdml.xsd" "$f"
        units=$(rootUnits "$f")
        valid "$docs/dcdml-$units.xsd" "$f"
        for other in imperial metric scientific; do
            [ "$other" = "$units" ] || invalid "$docs/dcdml-$other.xsd" "$f" "$(basename "$f") as $other"
        done
    done
    echo "${#files[@]} golden DCDML files checked"
    ;;

broken)
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    t1=$golden/type1.dcdml-imperial.xml
    t2=$golden/type2.dcdml-metric.xml
    t3s=$golden/type3.dcdml-scientific.xml
    n=0

    # reject FILE WHAT SED-ARGS...: the edited copy must be rejected by dcdml.xsd.
    reject() {
        local in=$1 what=$2
        shift 2
        n=$((n + 1))
        local out=$tmp/broken$n.xml
        sed "$@" "$in" >"$out"
        if cmp -s "$in" "$out"; then
            fail "$what: the edit changed nothing"
            return
        fi
        invalid "$docs/dcdml.xsd" "$out" "$what"
    }
    # accept FILE WHAT SED-ARGS...: the edited copy must still be valid.
    accept() {
        local in=$1 what=$2
        shift 2
        n=$((n + 1))
        local out=$tmp/ok$n.xml
        sed "$@" "$in" >"$out"
        if cmp -s "$in" "$out"; then
            fail "$what: the edit changed nothing"
            return
        fi
        valid "$docs/dcdml.xsd" "$out"
    }

    # Order of elements.
    reject "$t1" "device before generator" -e '/<generator /{h;d}' -e '/<device /G'
    reject "$t2" "samples before gasdefinitions" \
        -e '/<gasdefinitions >/,/<\/gasdefinitions >/{H;d}' -e '/<\/samples >/{G}'
    reject "$t1" "alarms after talvek:light" -e '/<alarms >/,/<\/alarms >/{H;d}' -e '/<talvek:light /G'
    reject "$t2" "samples starting with a datum" -e '0,/<gasswitch gas="gas1" \/>/{//d}'
    reject "$t2" "samples ending with an event" \
        -e 's/<datum depth="0" time="1090" \/>/<event id="surface" time="1090" \/>/'

    # Required elements and attributes.
    reject "$t2" "dive without id" -e '0,/<dive /s/ id="[0-9]*"//'
    reject "$t1" "datum without depth" -e '0,/<datum depth="30.0" \/>/s//<datum \/>/'
    reject "$t2" "statistics with eight tissues" -e '0,/name="tissue9"/{/name="tissue9"/d}'
    reject "$t2" "a tissue named twice" -e '0,/name="tissue2"/s/name="tissue2"/name="tissue1"/'
    reject "$t1" "no generator" -e '/<generator /d'
    reject "$t2" "dive settings without talvek:rgbm" -e '0,/ talvek:rgbm="[0-9]*" \/>/s// \/>/'

    # Vocabularies and number formats.
    reject "$t1" "root units not a unit system" -e '0,/units="imperial"/s//units="feet"/'
    reject "$t2" "settings units capitalised" -e 's/<settings units="imperial"/<settings units="Imperial"/'
    reject "$t2" "unknown event name" -e '0,/id="deco"/s//id="decompression"/'
    reject "$t2" "unknown computer mode" -e '0,/computermode="air"/s//computermode="trimix"/'
    reject "$t2" "metric pressure with a fraction" -e '0,/pressure="221.0"/s//pressure="221.5"/'
    reject "$t1" "depth with two decimals" -e '0,/depth="30.0"/s//depth="30.00"/'
    reject "$t3s" "dive time stamp as ISO 8601" -e '0,/<dive tstamp="\([0-9-]*\) T /s//<dive tstamp="\1T/'
    reject "$t2" "talvek:rgbm other than 50 or 100" -e '0,/talvek:rgbm="50"/s//talvek:rgbm="75"/'
    reject "$t2" "an element the program never writes" -e '0,/<\/samples >/s//<note \/><\/samples >/'

    # Gas switches name a gas of the same dive.
    reject "$t2" "switch to an undefined gas" -e '0,/<gasswitch gas="gas2" time=/s//<gasswitch gas="gas7" time=/'

    # Namespaces as written: talvek items in the talvek namespace, the rest in none.
    reject "$t2" "personalinfo without its prefix" -e 's/talvek:personalinfo/personalinfo/'
    reject "$t2" "talvek prefix bound to another URI" -e 's|dcdml/1.0/dcdml-talvek"|dcdml/1.0/other"|'
    reject "$t2" "document in the DCDML namespace" -e 's|<dcdml version|<dcdml xmlns="http://www.talvek.com/dcdml/1.0/dcdml" version|'
    reject "$t2" "dive rgbm without its prefix" -e '0,/ talvek:rgbm="50"/s// rgbm="50"/'

    # A file written in one unit system but labelled as another.
    n=$((n + 1))
    sed -e '0,/units="metric"/s//units="imperial"/' "$t2" >"$tmp/relabelled.xml"
    valid "$docs/dcdml.xsd" "$tmp/relabelled.xml"
    invalid "$docs/dcdml-imperial.xsd" "$tmp/relabelled.xml" "metric numbers labelled imperial"

    # The legacy layout is not DCDML.
    for f in "$golden"/*.legacy.xml; do
        invalid "$docs/dcdml.xsd" "$f" "legacy layout $(basename "$f")"
    done

    # What the program can write but the golden files do not show.
    accept "$t2" "no dives" -e '/<repetitiongroup >/,/<\/repetitiongroup >/d' \
        -e 's|<profiledata >|<profiledata ><!--  No Dives  -->|'
    accept "$t1" "family 1 free-diving totals" \
        -e 's|divetime="03:31:00" />|divetime="03:31:00" freedivemaxdepth="12.0" freedivetime="7" />|'
    accept "$t2" "families 2 and 3 free-diving totals (raw depth)" \
        -e 's|divetime="02:58:00" />|divetime="02:58:00" freedivemaxdepth="1234" freedivetime="7" />|'
    accept "$t1" "unknown dive mode, unknown model" -e 's/divemode="nitrox"/divemode=""/' -e 's/model="Corvel"/model="Unknown"/'
    accept "$t2" "no download time, no version block" -e 's/tstamp="2024-05-17 T 10:20:30"/tstamp=""/' \
        -e 's/<generator name="[^"]*" version="[^"]*"/<generator name="Talvek Downloader" version=""/'
    accept "$t1" "negative family 1 depth" -e '0,/depth="30.0"/s//depth="-3.0"/'

    echo "$n edited documents checked"
    ;;
*)
    echo "unknown mode $mode"
    exit 2
    ;;
esac

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
