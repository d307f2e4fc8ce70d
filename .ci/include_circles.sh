#!/usr/bin/env bash
# Fails on a circle in the include graph of src/, sim/ and dvb/, at two levels:
#   files:   a header and the source of the same name are one unit (usals.h + usals.cpp); a unit
#            that includes another unit's header depends on it;
#   folders: a folder whose files include a header of another folder depends on that folder.
# Each circle is printed with the include lines that close it. Quoted includes are looked up
# beside the including file, then in the include directories the CMake files give (src, sim,
# sim/timing, dvb); one found nowhere fails the check, since the graph would miss it.
#
#   bash .ci/include_circles.sh [REPOSITORY]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
roots=(src sim sim/timing dvb)

# One "including-file line included-name" row per quoted include.
includes() {
  find src sim dvb -type f \( -name '*.h' -o -name '*.cpp' \) | LC_ALL=C sort |
    xargs awk 'match($0, /^[ \t]*#[ \t]*include[ \t]*"[^"]+"/) {
                 name = substr($0, RSTART, RLENGTH); sub(/^[^"]*"/, "", name); sub(/"$/, "", name)
                 print FILENAME, FNR, name }'
}

# The same rows with the included file's path in the tree, or "-" where none was found.
resolved() {
  local file line name dir root found
  while read -r file line name; do
    found=-
    dir=$(dirname "$file")
    for root in "$dir" "${roots[@]}"; do
      if [ -f "$root/$name" ]; then found=$root/$name; break; fi
    done
    found=${found#./}
    echo "$file $line $name $found"
  done
}

rows=$(includes | resolved)
unresolved=$(awk '$4 == "-" { print "  " $1 ":" $2 " includes \"" $3 "\", found nowhere" }' <<<"$rows")
if [ -n "$unresolved" ]; then
  echo "include circles: not checked, includes the check cannot follow:"
  echo "$unresolved"
  exit 1
fi

# Tarjan's strongly connected components over the edges "from to site"; each component of more
# than one node is a circle, printed as one path around it with the site of each step.
awk -v level_names="file folder" '
function unit(path) { sub(/\.(h|cpp)$/, "", path); return path }
function folder(path) { sub(/\/[^\/]*$/, "", path); return path }
function add_edge(level, from, to, site,   key) {
  if (from == to) return
  key = level SUBSEP from SUBSEP to
  if (key in edge_site) return
  edge_site[key] = site
  out_count[level, from]++
  out[level, from, out_count[level, from]] = to
  if (!((level, from) in known)) { known[level, from] = 1; nodes[level, ++node_count[level]] = from }
  if (!((level, to) in known)) { known[level, to] = 1; nodes[level, ++node_count[level]] = to }
}
function connect(level, v,   i, w) {
  index_of[level, v] = low[level, v] = ++counter
  stack[++depth] = v; on_stack[level, v] = 1
  for (i = 1; i <= out_count[level, v]; i++) {
    w = out[level, v, i]
    if (!((level, w) in index_of)) {
      connect(level, w)
      if (low[level, w] < low[level, v]) low[level, v] = low[level, w]
    } else if (on_stack[level, w] && index_of[level, w] < low[level, v]) {
      low[level, v] = index_of[level, w]
    }
  }
  if (low[level, v] == index_of[level, v]) {
    components++
    do {
      w = stack[depth--]; on_stack[level, w] = 0
      component[level, w] = components; size[components]++
    } while (w != v)
    if (size[components] > 1) report(level, v, components)
  }
}
# A shortest way from start back to itself inside its component (breadth first).
function report(level, start, c,   head, tail, queue, parent, v, i, w, path, n, k, line) {
  delete parent
  head = 1; tail = 0
  for (i = 1; i <= out_count[level, start]; i++) {
    w = out[level, start, i]
    if (component[level, w] == c && !(w in parent)) { parent[w] = start; queue[++tail] = w }
  }
  while (head <= tail && !(start in parent)) {
    v = queue[head++]
    for (i = 1; i <= out_count[level, v]; i++) {
      w = out[level, v, i]
      if (component[level, w] == c && !(w in parent)) { parent[w] = v; queue[++tail] = w }
    }
  }
  n = 0; v = start
  do { path[++n] = v; v = parent[v] } while (v != start)
  line = start
  for (k = n; k >= 1; k--) line = line " -> " path[k]
  if (size[c] > n) line = line " (" size[c] " " level "s entangled in all)"
  print "circle of " level "s: " line
  v = start
  for (k = n; k >= 1; k--) { print "  " edge_site[level, v, path[k]]; v = path[k] }
  circles++
}
{
  site = $1 ":" $2 " includes " $3
  add_edge("file", unit($1), unit($4), site)
  add_edge("folder", folder($1), folder($4), site)
}
END {
  split(level_names, levels, " ")
  for (l = 1; l <= 2; l++)
    for (i = 1; i <= node_count[levels[l]]; i++)
      if (!((levels[l], nodes[levels[l], i]) in index_of)) connect(levels[l], nodes[levels[l], i])
  if (circles) { printf "include circles: %d found\n", circles; exit 1 }
  printf "include circles: none in %d includes of src/, sim/ and dvb/ (%d units, %d folders linked)\n", NR, \
    node_count["file"], node_count["folder"]
}' <<<"$rows"
