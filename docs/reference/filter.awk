# Doxygen's input filter for the host/ headers: their plain // comments become documentation
# comments, so the headers stay as their readers know them.
# - The comment that starts a header documents the file.
# - A comment that starts a line documents the declaration after it; one before a run of
#   one-line declarations (constants, type names, members declared together) documents the run as a group.
# - A comment after a declaration on its line documents that declaration.
# - A section title (// --- name ---) stays a plain comment.
# - What a class keeps protected is the host's own and is left out, as private members are.
# Lines are neither added nor removed before the end, so warnings name the header's lines.
function flush_comments(as_group,    i, text) {
  for (i = 1; i <= ncomments; i++) {
    text = comments[i]
    sub(/\/\//, "///", text)
    print text
  }
  if (ncomments > 0 && as_group) {
    ingroup = 1
    printf "///@{ "
  }
  ncomments = 0
}
function is_short_declaration(s) {
  return s ~ /^(inline constexpr|typedef|using) .*;/ ||
         s ~ /^ *[A-Za-z_][A-Za-z_0-9:]* [A-Za-z_][A-Za-z_0-9]*(, [A-Za-z_][A-Za-z_0-9]*)+;/
}
NR == 1 && /^\/\/ / { sub(/^\/\//, "///"); print $0 " \\file"; infile = 1; next }
infile && /^\/\/( |$)/ { sub(/^\/\//, "///"); print; next }
{ infile = 0 }
/^ *\/\/ ---/ { print; next }
/^ *\/\/( |$)/ { comments[++ncomments] = $0; next }
{
  if (ingroup && !is_short_declaration($0)) {
    ingroup = 0
    if ($0 == "") { print "///@}"; next }
    printf "///@} "
  }
  flush_comments(is_short_declaration($0))
  sub(/^ *protected:/, " private:")
  sub(/;[ ]*\/\/ /, "; ///< ")
  print
}
END { flush_comments(0); if (ingroup) print "///@}" }
