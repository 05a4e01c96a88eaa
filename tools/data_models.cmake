# The static ".geo" models (trees, rocks, mineral fields, items, annotations, buildings), made by
# make_models at build time into the build's data folder.
set(_model_names
  data/props/stmp.geo
  data/props/pine.geo
  data/props/mapl.geo
  data/props/appl.geo
  data/props/seedling.geo
  data/props/rock0.geo
  data/props/rock1.geo
  data/props/rock2.geo
  data/props/rock3.geo
  data/props/rock4.geo
  data/props/rock5.geo
  data/props/rock6.geo
  data/props/rock7.geo
  data/props/rock8.geo
  data/props/rock9.geo
  data/props/copperfield.geo
  data/props/coalfield.geo
  data/props/stone.geo
  data/props/timber.geo
  data/props/lumber.geo
  data/props/pickaxe.geo
  data/props/woodaxe.geo
  data/props/hammer.geo
  data/props/boltcutter.geo
  data/props/water.geo
  data/props/manure.geo
  data/props/basket.geo
  data/props/provisions.geo
  data/props/emptybucket.geo
  data/props/scythe.geo
  data/props/grain.geo
  data/props/flour.geo
  data/props/milk.geo
  data/props/bread.geo
  data/props/ironore.geo
  data/props/ingot.geo
  data/props/fruit.geo
  data/props/sawmillmarker.geo
  data/props/sawmillsite.geo
  data/props/smeltermarker.geo
  data/props/smeltersite.geo
  data/props/smithymarker.geo
  data/props/smithysite.geo
  data/props/storagemarker.geo
  data/props/storagesite.geo
  data/props/roadmarker.geo
  data/props/roadsite.geo
  data/props/bridgemarker.geo
  data/props/summitmarker.geo
  data/props/buoy.geo
  data/props/poop.geo
  data/props/redgem.geo
  data/props/bluegem.geo
  data/props/greengem.geo
  data/props/cyangem.geo
  data/props/purplegem.geo
  data/props/pinkgem.geo
  data/props/yellowgem.geo
  data/props/orangegem.geo
  data/props/chest.geo
  data/props/crown.geo
  data/annotations/arrow.geo
  data/annotations/target.geo
  data/annotations/pointmark.geo
  data/annotations/brdir.geo
  data/buildings/depot.geo
  data/buildings/waterwell.geo
  data/buildings/watermill.geo
  data/buildings/grainfarm.geo
  data/buildings/dairyfarm.geo
  data/buildings/bakery.geo
  data/buildings/sawmill.geo
  data/buildings/oremine.geo
  data/buildings/smelter.geo
  data/buildings/smithy.geo
  data/buildings/cage.geo
  data/buildings/jailbreak.geo
  data/buildings/bridge.geo
  data/buildings/brconstruction.geo
  data/buildings/dkconstruction.geo
  data/buildings/streetstraight.geo
  data/buildings/streetright.geo
  data/buildings/streetleft.geo
  data/buildings/plaza.geo
  data/buildings/plconstruction.geo
  data/buildings/ssconstruction.geo
  data/buildings/slconstruction.geo
  data/buildings/srconstruction.geo
  data/buildings/faconstruction.geo
  data/buildings/singledeck.geo
  data/buildings/doubledeck.geo
  data/buildings/trippledeck.geo
  data/buildings/storage.geo
  data/buildings/stargate.geo
)
set(_models "")
foreach(m ${_model_names})
  list(APPEND _models ${CMAKE_BINARY_DIR}/${m})
endforeach()
add_custom_command(OUTPUT ${_models}
  COMMAND make_models ${CMAKE_BINARY_DIR}
  DEPENDS make_models
  COMMENT "Generating the static models")
add_custom_target(static_models DEPENDS ${_models})
add_dependencies(data_folder static_models)
