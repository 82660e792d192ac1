-- The single rows every database carries.
INSERT INTO "TClinicCode" ("ID", "ClinicCode", "ClinicCodeSub", "ClinicName", "UpDateTime")
  VALUES (0, '', '', '', '2024-01-01 00:00:00');
INSERT INTO "TNextAutoNumber" ("ID") VALUES (0);
INSERT INTO "TVersion" ("ID", "Major", "Minor", "Revision") VALUES (1, 1, 0, 0);
INSERT INTO "TClinic" ("ID", "Name") VALUES (0, '');
