# Doxygen input filter for include/VORN_LumUtility.h. The header is written
# with plain // comments; this filter hands them to Doxygen as documentation:
# - the opening comment block documents the file (rules every function shares);
# - a banner (a // ---- line, text, a // ---- line) opens a named member group,
#   its first sentence the name and the rest the group's description;
# - a comment block directly above a declaration documents that declaration.
# Line numbers are kept, so Doxygen's messages point at the real header.

function flush_comments(as_doc,    i) {
  for (i = 1; i <= n; i++) print (as_doc ? "///" substr(buf[i], 3) : buf[i])
  n = 0
}

function close_group() {
  if (group_open) { print "/*@}*/"; group_open = 0 }
}

BEGIN { n = 0; in_banner = 0; group_open = 0; seen_code = 0; blanks = 0 }

# Banner lines.
/^\/\/ -----+$/ {
  if (!in_banner) {
    flush_comments(0)
    for (; blanks > 0; blanks--) print ""
    in_banner = 1; banner = ""; banner_lines = 0; print ""; next
  }
  in_banner = 0
  title = banner; rest = ""
  split_at = 0
  for (k = 1; k < length(banner); k++) {
    c = substr(banner, k, 2)
    if (c == ". " || c == ": ") { split_at = k; break }
  }
  if (split_at) { title = substr(banner, 1, split_at - 1); rest = substr(banner, split_at + 2) }
  sub(/\.$/, "", title)
  # The banner's lines are already blank above; the group markup takes the closing line.
  # The previous group closes on the same line, so line numbers stay those of the header.
  printf "%s/** @name %s\n", (group_open ? "/*@}*/ " : ""), title
  print (rest == "" ? " */ /*@{*/" : " *  " rest " */ /*@{*/")
  group_open = 1
  # Keep the line count: the banner had banner_lines + 2 lines, we printed 1 + 2.
  for (k = 1; k < banner_lines; k++) print ""
  next
}

in_banner {
  text = substr($0, 4)
  banner = banner (banner == "" ? "" : " ") text
  banner_lines++
  next
}

/^\/\// {
  if (n == 0) for (; blanks > 0; blanks--) print ""
  buf[++n] = $0
  next
}

/^[ \t]*$/ {
  if (n > 0) {
    # A comment block followed by a blank line documents nothing, except the
    # opening block, which documents the file.
    if (!seen_code) { print_file_block(); seen_code = 1; next }
    flush_comments(0)
  }
  blanks++
  next
}

{
  if (!seen_code && n > 0) {
    print_file_block()
  } else if (n > 0) {
    flush_comments($0 ~ /^LUM_API/)
  }
  seen_code = 1
  if ($0 ~ /^#endif/ && group_open && blanks > 0) { blanks--; close_group() }
  for (; blanks > 0; blanks--) print ""
  if ($0 ~ /^#endif/) close_group()
  if ($0 ~ /^#define LUM_API/) {
    print $0 " ///< Marks the library's exported functions."
    next
  }
  print
}

END { for (; blanks > 0; blanks--) print "" }

# The file marker takes the place of the block's first empty comment line.
function print_file_block(    i, dropped) {
  print "/// @file"
  dropped = 0
  for (i = 1; i <= n; i++) {
    if (!dropped && buf[i] ~ /^\/\/[ \t]*$/) { dropped = 1; continue }
    print "///" substr(buf[i], 3)
  }
  n = 0
}
