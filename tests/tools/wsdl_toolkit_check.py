#!/usr/bin/env python3
"""A standard SOAP toolkit (zeep) calls quorvil-mapservice from its WSDL alone.

Usage: wsdl_toolkit_check.py PATH-TO-quorvil-mapservice

Starts the service on an ephemeral loopback port, builds a zeep client from
<endpoint>?WSDL and calls GetPlaceList, GetAreaFromPt and GetTile, checking the
answers, then each other operation once. Exits 0 when all checks hold, 1 when one fails, and 77 (skipped) when
the zeep module is not installed.
"""

import subprocess
import sys

SKIPPED = 77

try:
    import zeep
except ImportError:
    print("zeep is not installed (Debian: python3-zeep); skipping")
    sys.exit(SKIPPED)

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)


def pixel_size(area):
    nw, se = area.NorthWest, area.SouthEast
    width = (se.Offset.XOffset + se.TileMeta.Id.X * 200
             - nw.TileMeta.Id.X * 200 - nw.Offset.XOffset)
    height = (se.Offset.YOffset + nw.TileMeta.Id.Y * 200
              - se.TileMeta.Id.Y * 200 - nw.Offset.YOffset)
    return width, height


def run(endpoint):
    client = zeep.Client(endpoint + "?WSDL")
    service = client.service

    places = service.GetPlaceList(placeName="san", MaxItems=100, imagePresence=True)
    check(len(places) == 100, "GetPlaceList 'san' gives 100 places, not %d" % len(places))
    for facts in places:
        check(facts.Place.City.lower().startswith("san"),
              "GetPlaceList 'san' answered " + facts.Place.City)
        check("Photo" in (facts.AvailableThemeMask or []),
              facts.Place.City + " has no photo imagery")
    hoboken = service.GetPlaceList(placeName="hoboken, new jersey", MaxItems=5,
                                   imagePresence=True)
    check(len(hoboken) >= 1 and hoboken[0].Place.City == "Hoboken"
          and hoboken[0].Place.State == "New Jersey", "GetPlaceList finds Hoboken, New Jersey")

    for theme, scale, width, height, magic in (("Photo", "Scale4m", 640, 480, b"\xff\xd8"),
                                               ("Topo", "Scale2m", 321, 241, b"GIF")):
        area = service.GetAreaFromPt(center={"Lon": -74.03236, "Lat": 40.74399}, theme=theme,
                                     scale=scale, displayPixWidth=width,
                                     displayPixHeight=height)
        check(pixel_size(area) == (width, height),
              "GetAreaFromPt %s is %s, not %dx%d" % (theme, pixel_size(area), width, height))
        check("Hoboken" in (area.NearestPlace or ""),
              "GetAreaFromPt near Hoboken names " + str(area.NearestPlace))
        centre = area.Center.TileMeta
        check(centre.TileExists, "the centre tile of %s exists" % theme)
        check(centre.Id.Theme == theme and centre.Id.Scale == scale,
              "the centre tile is %s %s" % (centre.Id.Theme, centre.Id.Scale))
        tile = service.GetTile(id=centre.Id)
        check(isinstance(tile, bytes) and tile.startswith(magic),
              "GetTile %s starts with %r, not %r" % (theme, magic, tile[:4] if tile else tile))

    # The other operations are callable from the description too.
    park = {"Lon": -73.965, "Lat": 40.784}
    upper_left, lower_right = {"Lon": -74.03, "Lat": 40.88}, {"Lon": -73.90, "Lat": 40.70}
    utm = service.ConvertLonLatPtToUtmPt(point=park)
    back = service.ConvertUtmPtToLonLatPt(utm=utm)
    check(utm.Zone == 18 and abs(back.Lon - park["Lon"]) < 1e-7
          and abs(back.Lat - park["Lat"]) < 1e-7, "the UTM round trip")
    place = {"City": "Hoboken", "State": "New Jersey", "Country": "United States"}
    check(abs(service.ConvertPlaceToLonLatPt(place=place).Lon + 74.03) < 0.02,
          "ConvertPlaceToLonLatPt of Hoboken")
    check(service.GetPlaceFacts(place=place).PlaceTypeId == "CityTown", "GetPlaceFacts")
    count = service.CountPlacesInRect(upperleft=upper_left, lowerright=lower_right,
                                      ptype="UnknownPlaceType")
    in_rect = service.GetPlaceListInRect(upperleft=upper_left, lowerright=lower_right,
                                         ptype="UnknownPlaceType", MaxItems=100000)
    check(count > 0 and len(in_rect) == count, "CountPlacesInRect and GetPlaceListInRect")
    meta = service.GetTileMetaFromLonLatPt(point=park, theme="Topo", scale="Scale2m")
    check(service.GetTileMetaFromTileId(id=meta.Id).Center == meta.Center,
          "GetTileMetaFromTileId of GetTileMetaFromLonLatPt")
    by_id = service.GetAreaFromTileId(id=meta.Id, displayPixWidth=300, displayPixHeight=200)
    check(pixel_size(by_id) == (300, 200) and by_id.Center.TileMeta.Id == meta.Id,
          "GetAreaFromTileId")
    rect = service.GetAreaFromRect(upperLeft=upper_left, lowerRight=lower_right,
                                   theme="Photo", scale="Scale64m")
    check(pixel_size(rect)[0] > 0 and rect.NearestPlace, "GetAreaFromRect")
    check(len(service.GetLatLonMetrics(point=park)) > 0, "GetLatLonMetrics")
    check(service.GetTheme(theme="Topo").LoScale == "Scale2m", "GetTheme")
    around_park = service.GetAreaFromPt(center=park, theme="Photo", scale="Scale8m",
                                        displayPixWidth=100, displayPixHeight=100)
    nearest = service.ConvertLonLatPtToNearestPlace(point=park)
    check(nearest and nearest == around_park.NearestPlace, "ConvertLonLatPtToNearestPlace")

    # Faults come back as the toolkit's own fault with the service's text.
    try:
        service.GetAreaFromPt(center={"Lon": -74.0, "Lat": 40.7}, theme="Photo",
                              scale="Scale1m", displayPixWidth=2000000, displayPixHeight=10)
        check(False, "an oversize area is refused")
    except zeep.exceptions.Fault as fault:
        check("pixels" in fault.message, "the oversize fault says " + fault.message)
    # An open kept-alive connection would hold up the service's shut-down.
    client.transport.session.close()


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    server = subprocess.Popen([sys.argv[1], "--port", "0"], stdout=subprocess.PIPE, text=True)
    try:
        line = server.stdout.readline().strip()
        at = line.find("http://")
        if at < 0:
            print("the service did not start: " + line)
            return 1
        run(line[at:])
    finally:
        server.terminate()
        server.wait(timeout=10)
    if failures:
        return 1
    print("zeep called the service from its WSDL: all checks hold")
    return 0


if __name__ == "__main__":
    sys.exit(main())
