# Prints the string literals of C++ source files, one a line, as the program
# would print them: adjacent literals joined, \n and \t as blanks, other
# escapes resolved.  Comments, character literals and preprocessor lines
# (the names of included headers) are skipped.
function flush() {
    if (have)
        print pending
    pending = ""
    have = 0
}
/^[ \t]*#/ && !in_comment {
    next
}
{
    line = $0
    n = length(line)
    i = 1
    while (i <= n) {
        c = substr(line, i, 1)
        two = substr(line, i, 2)
        if (in_comment) {
            if (two == "*/") {
                in_comment = 0
                i += 2
            } else {
                i++
            }
            continue
        }
        if (two == "//")
            break
        if (two == "/*") {
            in_comment = 1
            i += 2
            continue
        }
        if (c == "'") {
            for (i++; i <= n && substr(line, i, 1) != "'"; i++)
                if (substr(line, i, 1) == "\\")
                    i++
            i++
            continue
        }
        if (c == "\"") {
            for (i++; i <= n && substr(line, i, 1) != "\""; i++) {
                c = substr(line, i, 1)
                if (c == "\\") {
                    i++
                    c = substr(line, i, 1)
                    if (c == "n" || c == "t")
                        c = " "
                }
                pending = pending c
            }
            have = 1
            i++
            continue
        }
        if (c != " " && c != "\t")
            flush()
        i++
    }
}
END {
    flush()
}
