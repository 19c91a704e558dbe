# The router's phonebook XML, the disk copy and the source's rules with fakes.
kw_add_test(phonebook_router_unit_tests
  SOURCES PhonebookXmlReaderTest.cpp Tr064ClientTest.cpp
  LIBS kw_phonebook_router)
