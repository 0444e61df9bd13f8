# The end-to-end run of kestrin.exe under Wine (filled in below).
