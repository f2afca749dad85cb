// The batch run lives here.
namespace qm {}
