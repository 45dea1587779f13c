// Values from several scripts, each under its own name, which the Windows checks write
// through the backend and read back: Latin-1 (inside the Western code page), CJK (outside
// it), characters beyond U+FFFF (a surrogate pair in UTF-16 each), and a PATH mixing them
// under a name that is not ASCII either. None holds '%', so each is a REG_SZ.
#pragma once

struct unicode_sample {
  const char *name;
  const char *value;
};

inline constexpr unicode_sample unicode_samples[] = {
    {"KENV_CHECK_LATIN1", "caf\u00e9 \u00fcn\u00ef \u00c5ngstr\u00f6m \u00df"},
    {"KENV_CHECK_CJK", "\u65e5\u672c\u8a9e \u4e2d\u6587 \ud55c\uad6d\uc5b4"},
    {"KENV_CHECK_ASTRAL", "\U0001F600 \U0001F30D \U0001D11E"},
    {"KENV_CHECK_PATH_\u65e5\u672c", "C:\\\u65e5\u672c\\bin;C:\\\U0001F600;C:\\windows"},
};
