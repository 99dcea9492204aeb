# Read by CTest after the test programs' discovered cases: labels the cases
# that cannot run under the sanitizers with no_sanitize, which the sanitizer
# phase of ./pendrel test leaves out. A name that does not exist is ignored.
#
# Peak resident memory: ASan's shadow memory, red zones and quarantine of
# freed blocks make the figure meaningless (the same tests in the normal
# build keep memory flat).
set(pendrel_no_sanitize
  CMSignatureTest.LargeContentDoesNotGrowMemory
  TimeStampTokenTest.LargeContentDoesNotGrowMemory
  SignedDocumentTest.MemoryDoesNotGrowWithTheDocument)
foreach(name ${pendrel_no_sanitize})
  set_tests_properties(${name} PROPERTIES LABELS no_sanitize)
endforeach()
