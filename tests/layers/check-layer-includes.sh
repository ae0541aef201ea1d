#!/bin/sh
# The layers point down only. CMake's link lines hold that for code that is compiled, but not for
# a header-only type: a struct of references in a low folder can name a class of a folder above
# and still link. So every include of our own headers is checked against this table: each folder
# of src/ with the folders it may include from (besides itself). A new folder needs a row.
# Usage: check-layer-includes.sh SOURCE_FOLDER
set -eu
src="$1/src"
status=0
checked=" "

check() {
    folder="$1"
    shift
    allowed=" $folder $* "
    checked="$checked$folder "
    used_folders=$(grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][a-z]+/' "$src/$folder" |
        sed -E 's/.*["<]([a-z]+)\/$/\1/' | sort -u)
    for used in $used_folders; do
        [ -d "$src/$used" ] || continue
        case "$allowed" in
        *" $used "*) ;;
        *)
            echo "FAIL: src/$folder includes from src/$used, a folder it may not use:"
            grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]$used/" "$src/$folder" | head -5
            status=1
            ;;
        esac
    done
}

services="registry archive outlook settings"
jobs="backup restore schedule disc"

check platform
check registry platform
check archive platform
check outlook platform registry
check settings platform registry outlook
check demo platform registry
check disc platform
check backup platform $services
check restore platform $services backup
check schedule platform $services backup
check forms platform $services $jobs
check gui platform $services $jobs forms
check win32gui platform $services $jobs forms
check app platform $services $jobs forms gui win32gui demo

for dir in "$src"/*/; do
    name=$(basename "$dir")
    case "$checked" in
    *" $name "*) ;;
    *)
        echo "FAIL: src/$name has no row in $0"
        status=1
        ;;
    esac
done
exit $status
