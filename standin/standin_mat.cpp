// Stand-in libmat: MATLAB links every Linux MEX module against its MAT-file
// library; the module calls nothing in it, so it only has to exist.
namespace standin {

int matLibraryPresent() { return 1; }

}  // namespace standin
