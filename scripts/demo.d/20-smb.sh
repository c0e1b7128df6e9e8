# SMB shares and access zones: create a share, list it, set its ACL, look it up, delete it.
ctl zones list
ctl shares create demo-share /ifs/data/projects
ctl shares create demo-share /ifs/data/projects
ctl shares list --path /ifs/data/projects
ctl shares acl-set demo-share --allow Everyone:read --allow SID:S-1-5-32-544:full --run-as-root root
ctl shares path demo-share
ctl shares all
ctl shares delete demo-share
ctl shares delete demo-share
