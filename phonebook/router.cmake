# The router's phonebooks over TR-064: the phonebook XML reader, the SOAP client, the source
# with its disk copy, and the password from the Secret Service (libsecret).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)

add_library(kw_phonebook_router STATIC
    PhonebookXmlReader.h PhonebookXmlReader.cpp
    Tr064Client.h Tr064Client.cpp
    OffThread.h
    SecretStore.h
    LibsecretStore.h LibsecretStore.cpp
    RefreshTimer.h
    QtRefreshTimer.h QtRefreshTimer.cpp
    RouterPhonebookCache.h RouterPhonebookCache.cpp
    RouterPhonebook.h RouterPhonebook.cpp
)
target_link_libraries(kw_phonebook_router PUBLIC kw_base Qt6::Core Qt6::Network
    PRIVATE PkgConfig::LIBSECRET kw_options)
