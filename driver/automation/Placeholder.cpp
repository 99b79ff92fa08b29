// Replaced by the driver object sources.
namespace orv::automation {}
