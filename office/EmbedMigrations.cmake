# Writes OUTPUT, a C++ source holding every file of MIGRATIONS ("|" between them, in
# the order given,
# which is their names' order) as office::Migrations(): the program carries its
# schema and reads nothing from disk to migrate.
string(REPLACE "|" ";" MIGRATIONS "${MIGRATIONS}")
set(body "")
foreach(file ${MIGRATIONS})
  get_filename_component(name ${file} NAME_WE)
  file(READ ${file} sql)
  string(FIND "${sql}" ")migration\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} holds the literal's closing delimiter")
  endif()
  string(APPEND body "      {\"${name}\", R\"migration(${sql})migration\"},\n")
endforeach()
file(WRITE ${OUTPUT}.next "// Generated from office/migrations by office/EmbedMigrations.cmake.
#include \"Migrations.h\"

namespace office {

const std::vector<Migration>& Migrations() {
  static const std::vector<Migration> migrations{
${body}  };
  return migrations;
}

}  // namespace office
")
file(COPY_FILE ${OUTPUT}.next ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.next)
