# The head office's page: vek-office serve, from PostgreSQL (libpq) over Qt's HTTP
# server; the day's figures through the journal's own closing.
find_package(PkgConfig REQUIRED)
pkg_check_modules(libpq REQUIRED IMPORTED_TARGET libpq)
find_package(Qt6 REQUIRED COMPONENTS Core HttpServer)

add_library(office_page STATIC ChainDay.cpp OfficePage.cpp OperationsCsv.cpp PageDatabase.cpp ServeCommand.cpp)
vek_export_headers(office_page ChainDay.h OfficePage.h OperationsCsv.h PageDatabase.h ServeCommand.h)
target_link_libraries(office_page PUBLIC journal receipt_compose PkgConfig::libpq Qt6::Core
                      PRIVATE Qt6::HttpServer platform_text)
