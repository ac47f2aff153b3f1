#include "shell/folder_search.h"

namespace shell {

std::string FolderOfInstallPath(const std::string& install_path) {
  const std::size_t separator = install_path.find_last_of("/\\");
  return separator == std::string::npos ? install_path : install_path.substr(0, separator);
}

std::string InitialFolderFromAPaths(const std::string& a_paths) {
  return a_paths.substr(0, a_paths.find('?'));
}

std::string FindGameFolder(const FolderSearch& search) {
  if (search.start_directory_holds_game()) return search.start_directory;
  // A directory there is a stale or foreign value.
  const std::string install_path = search.read_install_path();
  if (!install_path.empty() && search.names_existing_file(install_path)) {
    return FolderOfInstallPath(install_path);
  }
  // The dialog is shown even when the "aPaths" folder exists.
  return search.choose_folder(InitialFolderFromAPaths(search.read_a_paths()));
}

}  // namespace shell
