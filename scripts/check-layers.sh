#!/usr/bin/env bash
# Each folder of src/ includes only the folders below it, in the order the README's layout
# gives; an include that reaches upwards (or a pair that includes each other) fails the suite.
set -euo pipefail
cd "$(dirname "$0")/../src"
order=(platform hub store rack ui state tiles links ops script mqtt app)
declare -A rank
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done
status=0
for file in */*.h */*.cpp; do
    folder=${file%%/*}
    [[ -n ${rank[$folder]+x} ]] || { echo "$file: folder $folder is not in the layer order"; status=1; continue; }
    while read -r target; do
        if [[ -z ${rank[$target]+x} || ${rank[$target]} -gt ${rank[$folder]} ]]; then
            echo "$file includes $target/, which is not below $folder/"
            status=1
        fi
    done < <(sed -n 's|^#include "\([a-z_]*\)/.*|\1|p' "$file" | sort -u)
done
exit $status
