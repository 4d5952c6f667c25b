// Puts an object behind one of the process-wide seams (InstallDialogs,
// InstallHostResolver, InstallMimeTypes, InstallRegistry) for the guard's
// life, and the one before it back afterwards, also when a test fails early.
//
//   ScopedInstall<IHostResolver> names{InstallHostResolver, &resolver};
#pragma once

namespace qb::test {

template <typename Seam>
class ScopedInstall {
 public:
  using Installer = Seam* (*)(Seam*);
  ScopedInstall(Installer install, Seam* object) : install_(install), previous_(install(object)) {}
  ~ScopedInstall() { install_(previous_); }
  ScopedInstall(const ScopedInstall&) = delete;
  ScopedInstall& operator=(const ScopedInstall&) = delete;

 private:
  Installer install_;
  Seam* previous_;
};

}  // namespace qb::test
